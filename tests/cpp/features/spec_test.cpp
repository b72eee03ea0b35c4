// The spec model: capacity and reserved-ID checks, canonical order, indicator
// count, and order-book configuration.
#include "zelk/features/spec.hpp"

#include <gtest/gtest.h>

#include "zelk/symbols.hpp"

namespace zelk {
namespace {

ExactDecimal dec(const char* text) { return *ExactDecimal::parse(text); }
const FeatureSource PRICE = FeatureSource::of_field(ScalarField::Price);
const FeatureSource TRADES = FeatureSource::of_event(EventKind::Trade);

std::vector<FeatureDefinition> defaults(std::vector<FeatureKey> keys) {
    std::vector<FeatureDefinition> definitions;
    for (auto& key : keys) definitions.push_back(FeatureDefinition::with_default_id(std::move(key)));
    return definitions;
}

std::vector<std::string> ids_of(const FeatureExtractorSpec& spec) { return spec.feature_ids(); }

class SpecTest : public ::testing::Test {
protected:
    Symbol btc = *intern("btc");
    Symbol eth = *intern("eth");
};

TEST_F(SpecTest, EmptySpec) {
    auto spec = FeatureExtractorSpec::with_metadata({}, 0, std::nullopt);
    ASSERT_TRUE(spec);
    EXPECT_EQ(spec->indicator_count(), 0u);
    EXPECT_TRUE(spec->feature_ids().empty());
    EXPECT_EQ(spec->capacity(), 0u);
    EXPECT_EQ(FeatureExtractorSpec::empty(3, "sum").capacity(), 3u);
}

TEST_F(SpecTest, CapacityMustHoldEveryDefinition) {
    const auto definitions = defaults({FeatureKey::field_of(btc, ScalarField::Price),
                                       FeatureKey::field_of(btc, ScalarField::Volume)});
    EXPECT_TRUE(FeatureExtractorSpec::with_metadata(definitions, 2, std::nullopt));
    auto refused = FeatureExtractorSpec::with_metadata(definitions, 1, std::nullopt);
    ASSERT_FALSE(refused);
    EXPECT_EQ(to_string(refused.error()),
              "invalid argument: feature vector capacity 1 is smaller than active length 2");
}

TEST_F(SpecTest, ReservedIdReportsItsIncomingIndex) {
    auto definitions = defaults({FeatureKey::volatility(btc, PRICE, 5, WarmupPolicy::FullWindow),
                                 FeatureKey::field_of(eth, ScalarField::Price),
                                 FeatureKey::day_of_week(Symbol::global(), FeatureSource::any_event()),
                                 FeatureKey::context(Symbol::global(), "x")});
    definitions[3].id = "__reserved_7";
    auto refused = FeatureExtractorSpec::with_metadata(definitions, 4, std::nullopt);
    ASSERT_FALSE(refused);
    EXPECT_EQ(to_string(refused.error()),
              "invalid argument: feature definition at index 3 uses the reserved namespace for "
              "feature IDs");
}

TEST_F(SpecTest, MemberParametersKeepRequestOrderAcrossCalls) {
    auto vol = [&](uint64_t w) { return FeatureKey::volatility(btc, PRICE, w, WarmupPolicy::FullWindow); };
    auto one_call = FeatureExtractorSpec::with_metadata(defaults({vol(20), vol(5), vol(10)}), 3,
                                                        std::nullopt);
    // A second builder call appends to the earlier definitions.
    auto first = defaults({vol(20)});
    auto second = defaults({vol(5), vol(10)});
    first.insert(first.end(), second.begin(), second.end());
    auto two_calls = FeatureExtractorSpec::with_metadata(first, 3, std::nullopt);
    ASSERT_TRUE(one_call && two_calls);
    const std::vector<std::string> expected = {
        "volatility:symbol=3:btc:source=field.price:window=20:warmup=full_window",
        "volatility:symbol=3:btc:source=field.price:window=5:warmup=full_window",
        "volatility:symbol=3:btc:source=field.price:window=10:warmup=full_window",
    };
    EXPECT_EQ(ids_of(*one_call), expected);
    EXPECT_EQ(ids_of(*two_calls), expected);
    EXPECT_EQ(one_call->indicator_count(), 1u);
    EXPECT_EQ(two_calls->indicator_count(), 1u);
}

TEST_F(SpecTest, CanonicalOrder) {
    const std::vector<FeatureKey> keys = {
        FeatureKey::volatility(eth, PRICE, 5, WarmupPolicy::FirstValue),
        FeatureKey::book_scalar(FeatureKind::OrderBookMidPrice, btc),
        FeatureKey::book_nth(FeatureKind::OrderBookNthPrice, btc, Side::Bid, 2),
        FeatureKey::book_nth(FeatureKind::OrderBookNthPrice, btc, Side::Bid, 10),
        FeatureKey::book_nth(FeatureKind::OrderBookNthPrice, btc, Side::Ask, 3),
        FeatureKey::field_of(btc, ScalarField::Price),
        FeatureKey::volatility(btc, PRICE, 5, WarmupPolicy::FirstValue),
        FeatureKey::cvd(btc, TRADES, 3, WarmupPolicy::FirstValue),
        FeatureKey::context(Symbol::global(), "rate"),
        FeatureKey::day_of_week(Symbol::global(), FeatureSource::any_event()),
        FeatureKey::field_of(btc, ScalarField::Volume),
        FeatureKey::returns(btc, PRICE, 1, true),
        FeatureKey::returns(btc, PRICE, 1, false),
    };
    auto spec = FeatureExtractorSpec::with_metadata(defaults(keys), keys.size(), std::nullopt);
    ASSERT_TRUE(spec);
    const std::vector<std::string> expected = {
        // Global first: day of week (rank 1) before context (rank 26).
        "day_of_week:symbol=10:__global__:source=any_event",
        "context:symbol=10:__global__:source=context:name=4:rate",
        // btc: CVD, fields (price before volume), mid, parameterised book
        // queries by ID text (ask before bid, n_levels=10 before 2),
        // volatility, simple then log returns.
        "cvd:symbol=3:btc:source=event.trade:window=3:warmup=first_value",
        "field:symbol=3:btc:source=field.price",
        "field:symbol=3:btc:source=field.volume",
        "order_book_mid_price:symbol=3:btc:source=order_book",
        "order_book_nth_price:symbol=3:btc:source=order_book:side=ask:n_levels=3",
        "order_book_nth_price:symbol=3:btc:source=order_book:side=bid:n_levels=10",
        "order_book_nth_price:symbol=3:btc:source=order_book:side=bid:n_levels=2",
        "volatility:symbol=3:btc:source=field.price:window=5:warmup=first_value",
        "simple_return:symbol=3:btc:source=field.price:lag=1",
        "log_return:symbol=3:btc:source=field.price:lag=1",
        // eth after btc.
        "volatility:symbol=3:eth:source=field.price:window=5:warmup=first_value",
    };
    EXPECT_EQ(ids_of(*spec), expected);
}

TEST_F(SpecTest, UserIdDoesNotChangeTheOrder) {
    auto definitions = defaults({FeatureKey::field_of(btc, ScalarField::Volume),
                                 FeatureKey::field_of(btc, ScalarField::Price)});
    definitions[0].id = "aaa";
    definitions[1].id = "zzz";
    auto spec = FeatureExtractorSpec::with_metadata(definitions, 2, std::nullopt);
    ASSERT_TRUE(spec);
    EXPECT_EQ(ids_of(*spec), (std::vector<std::string>{"zzz", "aaa"}));
}

TEST_F(SpecTest, OrderBooksSortedAndValidated) {
    const Symbol aaa = *intern("aaa");
    const OrderBookConfig sparse{100, std::nullopt, UpdatePolicy::Monotonic};
    const OrderBookConfig dense{10, DenseBookConfig{dec("0.5"), dec("100"), dec("101")},
                                UpdatePolicy::Contiguous};
    auto base = FeatureExtractorSpec::empty(0, std::nullopt);
    auto spec = base.with_order_books({{eth, sparse}, {btc, dense}, {aaa, sparse}});
    ASSERT_TRUE(spec);
    ASSERT_EQ(spec->order_books().size(), 3u);
    EXPECT_EQ(spec->order_books()[0].symbol, aaa);
    EXPECT_EQ(spec->order_books()[1].symbol, btc);
    EXPECT_EQ(spec->order_books()[2].symbol, eth);

    struct Case {
        std::vector<OrderBookEntry> books;
        const char* error;
    };
    const OrderBookConfig bad_grid{10, DenseBookConfig{dec("0.5"), dec("100.25"), dec("101")},
                                   UpdatePolicy::Monotonic};
    const Case cases[] = {
        {{{btc, sparse}, {eth, sparse}, {btc, dense}},
         "more than one order book is configured for symbol btc"},
        {{{btc, sparse}, {Symbol::global(), sparse}},
         "invalid argument: order books require a non-global symbol"},
        {{{btc, bad_grid}},
         "order-book update failed: invalid dense order-book grid: tick 0.5, range [100.25, 101]"},
    };
    for (const auto& c : cases) {
        auto refused = base.with_order_books(c.books);
        ASSERT_FALSE(refused);
        EXPECT_EQ(to_string(refused.error()), c.error);
    }
}

TEST_F(SpecTest, BuildChecksTheVectorShapeFirst) {
    auto spec = FeatureExtractorSpec::with_metadata(
        defaults({FeatureKey::field_of(btc, ScalarField::Price),
                  FeatureKey::volatility(btc, PRICE, 0, WarmupPolicy::FullWindow)}),
        3, std::nullopt);
    ASSERT_TRUE(spec);
    auto wrong_capacity = spec->build(VecFeatureVector::new_of_length(2, 2));
    ASSERT_FALSE(wrong_capacity);
    EXPECT_EQ(to_string(wrong_capacity.error()),
              "output storage has capacity 2, but the feature-vector spec requires capacity 3");
    // Right capacity, one cell short: refused before the bad window is seen.
    auto short_vector = spec->build(VecFeatureVector::new_of_length(3, 1));
    ASSERT_FALSE(short_vector);
    EXPECT_EQ(to_string(short_vector.error()),
              "output storage has 1 cells, but compilation requires exactly 2");
    auto compiled = spec->build();
    ASSERT_FALSE(compiled);
    EXPECT_EQ(to_string(compiled.error()),
              "invalid indicator definition at index 1: rolling volatility: window must be at "
              "least 1");
}

TEST_F(SpecTest, BookFeatureWithoutBookFailsAtBuild) {
    auto spec = FeatureExtractorSpec::with_metadata(
        defaults({FeatureKey::book_scalar(FeatureKind::OrderBookMidPrice, btc)}), 1, std::nullopt);
    ASSERT_TRUE(spec);
    auto refused = spec->build();
    ASSERT_FALSE(refused);
    EXPECT_EQ(to_string(refused.error()), "no order book is configured for symbol btc");
    auto with_book =
        spec->with_order_books({{btc, OrderBookConfig{8, std::nullopt, UpdatePolicy::Monotonic}}});
    ASSERT_TRUE(with_book);
    EXPECT_TRUE(with_book->build());
}

}  // namespace
}  // namespace zelk
