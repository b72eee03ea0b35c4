// The spec compiler: grouping, layout, routes and every refusal.
#include "zelk/features/compiler.hpp"

#include <gtest/gtest.h>

#include "zelk/features/spec.hpp"
#include "zelk/symbols.hpp"

namespace zelk {
namespace {

ExactDecimal dec(const char* text) { return *ExactDecimal::parse(text); }
Duration ms(uint64_t millis) { return Duration::from_millis(millis); }
const FeatureSource PRICE = FeatureSource::of_field(ScalarField::Price);
const FeatureSource TRADES = FeatureSource::of_event(EventKind::Trade);
constexpr auto FULL = WarmupPolicy::FullWindow;
constexpr auto FIRST = WarmupPolicy::FirstValue;

std::vector<FeatureDefinition> defaults(std::vector<FeatureKey> keys) {
    std::vector<FeatureDefinition> definitions;
    for (auto& key : keys) definitions.push_back(FeatureDefinition::with_default_id(std::move(key)));
    return definitions;
}

class CompilerTest : public ::testing::Test {
protected:
    Symbol btc = *intern("btc");
};

TEST_F(CompilerTest, GroupsCompatibleRequestsInRequestOrder) {
    const auto definitions = defaults({
        FeatureKey::volatility(btc, PRICE, 5, FULL),
        FeatureKey::volatility(btc, PRICE, 10, FULL),
        FeatureKey::volatility(btc, PRICE, 20, FULL),
        FeatureKey::volatility(btc, PRICE, 7, FIRST),
    });
    auto groups = group_definitions(definitions);
    ASSERT_TRUE(groups);
    ASSERT_EQ(groups->size(), 2u);
    EXPECT_EQ((*groups)[0].member_values, (std::vector<uint64_t>{5, 10, 20}));
    EXPECT_EQ((*groups)[1].member_values, (std::vector<uint64_t>{7}));
    EXPECT_EQ((*groups)[1].definition_index, 3u);

    auto compilation = compile(definitions, 4);
    ASSERT_TRUE(compilation);
    EXPECT_EQ(compilation->derivations.size(), 2u);
    EXPECT_EQ(compilation->output_ranges,
              (std::vector<OutputRange>{{0, 3}, {3, 1}}));
    EXPECT_EQ(compilation->router.kind_subscribers(btc, EventKind::Price).size(), 2u);
}

TEST_F(CompilerTest, ContextsHaveNoDerivation) {
    const auto definitions = defaults({FeatureKey::context(Symbol::global(), "a"),
                                       FeatureKey::context(btc, "b")});
    auto compilation = compile(definitions, 2);
    ASSERT_TRUE(compilation);
    EXPECT_TRUE(compilation->derivations.empty());
    EXPECT_EQ(compilation->context_flags, (std::vector<bool>{true, true}));
    EXPECT_TRUE(compilation->router.subscribers().empty());
}

TEST_F(CompilerTest, Routes) {
    struct Case {
        FeatureKey key;
        RouteKind route;
    };
    const Case cases[] = {
        {FeatureKey::field_of(btc, ScalarField::TradeVolume), RouteKind::Trade},
        {FeatureKey::field_of(btc, ScalarField::Volume), RouteKind::Volume},
        {FeatureKey::returns(btc, FeatureSource::of_field(ScalarField::TradePrice), 1, false),
         RouteKind::Trade},
        {FeatureKey::cvd(btc, TRADES, 1, FULL), RouteKind::Trade},
        {FeatureKey::timed(FeatureKind::SmaTimed, btc, PRICE, ms(1), ms(2), FULL),
         RouteKind::AnyMarketEvent},
        {FeatureKey::book_imbalance(btc, 3), RouteKind::OrderBook},
        {FeatureKey::day_of_week(Symbol::global(), FeatureSource::any_event()), RouteKind::Global},
        {FeatureKey::day_of_week(btc, FeatureSource::any_event()), RouteKind::AnyMarketEvent},
        {FeatureKey::day_of_week(Symbol::global(), FeatureSource::of_event(EventKind::Time)),
         RouteKind::Time},
        {FeatureKey::vpt(btc, TRADES), RouteKind::Trade},
    };
    for (const auto& c : cases) {
        auto grouped = group_key(0, c.key);
        ASSERT_TRUE(grouped);
        EXPECT_EQ(route_of(grouped->group), c.route) << feature_id_from_key(c.key);
    }
}

TEST_F(CompilerTest, EveryRefusal) {
    struct Case {
        std::vector<FeatureDefinition> definitions;
        std::string error;
    };
    auto with_id = [](FeatureKey key, std::string id) {
        return FeatureDefinition{std::move(id), std::move(key)};
    };
    std::vector<FeatureKey> seventeen_depths;
    for (uint64_t d = 1; d <= 17; ++d) seventeen_depths.push_back(FeatureKey::book_imbalance(btc, d));
    const std::string at0 = "invalid indicator definition at index 0: ";
    const std::vector<Case> cases = {
        {defaults({FeatureKey::context(btc, "")}), at0 + "context: context name must not be empty"},
        {defaults({FeatureKey::book_price_query(FeatureKind::OrderBookLevelSize, btc, Side::Bid,
                                                dec("-1"))}),
         at0 + "order book level size: order-book query prices must be nonnegative"},
        {defaults({FeatureKey::book_nth(FeatureKind::OrderBookNthSize, btc, Side::Ask, 0)}),
         at0 + "order book nth size: order-book depth must be positive"},
        {defaults({FeatureKey::book_size_query(FeatureKind::OrderBookDepthUntilSizeTotalSize, btc,
                                               Side::Ask, dec("0.000"))}),
         at0 + "order book depth until size total size: order-book target size must be positive"},
        {defaults({FeatureKey::book_volume_between(btc, Side::Bid, dec("100"), dec("-2"))}),
         at0 + "order book volume between prices: order-book query prices must be nonnegative"},
        {defaults({FeatureKey::book_volume_between(btc, Side::Bid, dec("100"), dec("100.0"))}),
         at0 + "order book volume between prices: order-book query requires from_price < to_price"},
        {defaults({FeatureKey::book_imbalance(btc, 0)}),
         at0 + "order-book imbalance: order-book depth must be positive"},
        {defaults(seventeen_depths),
         "invalid indicator definition at index 16: order-book imbalance: compatible feature "
         "group exceeds 16 outputs"},
        {{with_id(FeatureKey::field_of(btc, ScalarField::Price), "a"),
          with_id(FeatureKey::field_of(btc, ScalarField::Price), "b")},
         "invalid indicator definition at index 1: field: duplicates an earlier feature key"},
        {{with_id(FeatureKey::field_of(btc, ScalarField::Price), "same"),
          with_id(FeatureKey::field_of(btc, ScalarField::Volume), "same")},
         "invalid indicator definition at index 1: field: duplicates an earlier feature ID"},
        {{with_id(FeatureKey::day_of_week(Symbol::global(), FeatureSource::any_event()), "d1"),
          with_id(FeatureKey::day_of_week(Symbol::global(), FeatureSource::any_event()), "d2")},
         "invalid indicator definition at index 1: day of week: duplicates an earlier feature key"},
        {{with_id(FeatureKey::vpt(btc, TRADES), "__reserved_1")},
         "invalid argument: feature definition at index 0 uses the reserved namespace for "
         "feature IDs"},
        {defaults({FeatureKey::cvd(btc, PRICE, 5, FULL)}),
         at0 + "CVD: requires Event(Trade) as its source"},
        {defaults({FeatureKey::cvd(btc, TRADES, 0, FULL)}), at0 + "CVD: window must be at least 1"},
        {defaults({FeatureKey::returns(btc, PRICE, 0, true)}),
         at0 + "log return: window must be at least 1"},
        {defaults({FeatureKey::returns(btc, PRICE, UINT64_MAX, false)}),
         at0 + "simple return: window is too large"},
        {defaults({FeatureKey::returns(btc, TRADES, 1, false)}),
         at0 + "simple return: requires a scalar event-field source"},
        {defaults({FeatureKey::volatility(btc, TRADES, 5, FULL)}),
         at0 + "rolling volatility: requires a scalar event-field source"},
        {defaults({FeatureKey::timed(FeatureKind::SmaTimed, btc, PRICE, ms(1000), ms(1500), FULL)}),
         at0 + "timed SMA: window must be an exact multiple of aggregation 1000ms, got 1500ms"},
        {defaults({FeatureKey::timed(FeatureKind::SmaTimed, btc, PRICE, Duration{0, 250'000},
                                     ms(1), FULL)}),
         at0 + "timed SMA: aggregation must use whole-millisecond precision, got 250µs"},
        {defaults({FeatureKey::timed(FeatureKind::VolatilityTimed, btc, PRICE, ms(0), ms(1), FULL)}),
         at0 + "timed rolling volatility: aggregation must be at least 1 millisecond"},
        {defaults({FeatureKey::timed(FeatureKind::ObvTimed, btc, TRADES, ms(1000),
                                     Duration{1, 500}, FULL)}),
         at0 + "timed OBV: window must use whole-millisecond precision, got 1.0000005s"},
        {defaults({FeatureKey::timed(FeatureKind::VwapTimed, btc, TRADES,
                                     Duration{UINT64_MAX, 0}, ms(1), FULL)}),
         at0 + "timed VWAP: aggregation must fit signed 64-bit milliseconds, got "
               "18446744073709551615s"},
        {defaults({FeatureKey::timed(FeatureKind::TradeVolumeTimed, btc, TRADES, ms(1000), ms(500),
                                     FULL)}),
         at0 + "timed trade volume: window must be at least aggregation 1000ms, got 500ms"},
        {defaults({FeatureKey::timed(FeatureKind::TradeCountTimed, btc, PRICE, ms(1), ms(1), FULL)}),
         at0 + "timed trade count: requires Event(Trade) as its source"},
        {defaults({FeatureKey::timed(FeatureKind::SmaTimed, btc, TRADES, ms(1), ms(1), FULL)}),
         at0 + "timed SMA: requires a scalar event-field source"},
        {defaults({FeatureKey::vpt(btc, PRICE)}), at0 + "VPT: requires Event(Trade) as its source"},
        {defaults({FeatureKey::time_since_first_event_of_day(Symbol::global(),
                                                             FeatureSource::any_event(),
                                                             50'460'000)}),
         at0 + "time since first event of day: UTC offset must be within -14h..=+14h, got "
               "50460000ms"},
        {defaults({FeatureKey::time_since_first_event_of_day(Symbol::global(),
                                                             FeatureSource::any_event(), 90'000)}),
         at0 + "time since first event of day: UTC offset must use whole-minute precision, got "
               "90000ms"},
    };
    for (const auto& c : cases) {
        auto compilation = compile(c.definitions, c.definitions.size());
        ASSERT_FALSE(compilation) << c.error;
        EXPECT_EQ(to_string(compilation.error()), c.error);
    }
    auto mismatch = compile(defaults({FeatureKey::vpt(btc, TRADES)}), 2);
    ASSERT_FALSE(mismatch);
    EXPECT_EQ(to_string(mismatch.error()),
              "output storage has 2 cells, but compilation requires exactly 1");
}

TEST_F(CompilerTest, UtcOffsetBoundsAreInclusive) {
    for (int64_t offset : {50'400'000LL, -50'400'000LL, 0LL, -18'000'000LL}) {
        EXPECT_TRUE(validate_key(FeatureKey::time_since_first_event_of_day(
            Symbol::global(), FeatureSource::any_event(), offset)))
            << offset;
    }
}

TEST_F(CompilerTest, ConstructorFailuresAreWrapped) {
    // A window above the ring buffer's addressable size passes the key check
    // but fails inside the indicator; the error names the group's index.
    auto compilation =
        compile(defaults({FeatureKey::volatility(btc, PRICE, UINT64_MAX, FULL)}), 1);
    ASSERT_FALSE(compilation);
    const std::string text = to_string(compilation.error());
    EXPECT_TRUE(text.starts_with(
        "invalid indicator definition at index 0: rolling volatility: invalid argument: "))
        << text;
}

}  // namespace
}  // namespace zelk
