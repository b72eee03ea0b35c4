// Every derivation kind inside a real extractor with a hand-assembled
// compilation and the routes the compiler gives each kind: which events reach
// which derivation, and which cells each event writes and marks.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "zelk/features/feature_extractor.hpp"

namespace zelk {
namespace {

constexpr Duration SECOND{1, 0};

struct Entry {
    FeatureDerivation derivation;
    Route route;
};

// One cell per derivation, in order.
FeatureExtractor build(std::vector<Entry> entries) {
    Compilation c;
    std::vector<Route> routes;
    for (size_t i = 0; i < entries.size(); ++i) {
        c.derivations.push_back(std::move(entries[i].derivation));
        c.output_ranges.push_back({i, 1});
        c.feature_ids.push_back("f" + std::to_string(i));
        c.context_flags.push_back(false);
        routes.push_back(entries[i].route);
    }
    c.router = *EventRouter::from_routes(routes);
    auto vector = VecFeatureVector::new_of_length(entries.size(), entries.size());
    return *FeatureExtractor::create(std::move(vector), std::move(c));
}

std::vector<uint8_t> mask(const FeatureExtractor& ex) {
    return {ex.update_mask().begin(), ex.update_mask().end()};
}

class DerivationRouting : public ::testing::Test {
protected:
    Symbol a = *intern("derivation-a");
    Symbol b = *intern("derivation-b");
    const uint64_t one[1] = {1};
    const uint64_t two[1] = {2};
    const uint64_t three[1] = {3};
    const WarmupPolicy first = WarmupPolicy::FirstValue;
};

TEST_F(DerivationRouting, EachKindSeesExactlyItsEvents) {
    const Route price{a, RouteKind::Price};
    const Route trade{a, RouteKind::Trade};
    const Route any{a, RouteKind::AnyMarketEvent};
    const Route global{Symbol::global(), RouteKind::Global};
    auto ex = build({
        {*ReturnsDerivation::create(a, SourceField::Price, ReturnKind::Simple, one), price},
        {*VolatilityDerivation::create(a, SourceField::Price, two, first), price},
        {*CvdDerivation::create(a, two, first), trade},
        {VptDerivation(a), trade},
        {*SmaTimedDerivation::create(a, SourceField::Price, three, SECOND, first), any},
        {*VolatilityTimedDerivation::create(a, SourceField::Price, three, SECOND, first), any},
        {*ObvTimedDerivation::create(a, three, SECOND, first), any},
        {*TradeVolumeTimedDerivation::create(a, three, SECOND, first), any},
        {*VwapTimedDerivation::create(a, three, SECOND, first), any},
        {*TradeCountTimedDerivation::create(a, SECOND, Duration{3, 0}, first), any},
        {TimeSinceFirstEventOfDayDerivation(0), global},
    });

    struct Step {
        const char* what;
        Event event;
        std::vector<uint8_t> marked;
    };
    const Step steps[] = {
        // Timed kinds observe a non-input the first time they see a timestamp.
        {"price of a", Event::price(a, 1000, 100.0), {1, 1, 0, 0, 1, 1, 1, 1, 1, 1, 1}},
        // The price-fed timed kinds already observed 1000: nothing to rewrite.
        {"classified trade of a", Event::trade(a, 1000, 101.0, 2.0, AggressorSide::Buy),
         {0, 0, 1, 1, 0, 0, 1, 1, 1, 1, 1}},
        // CVD ignores a trade without side.
        {"unclassified trade of a", Event::trade(a, 1500, 102.0, 1.0),
         {0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1}},
        // Same timestamp, not an input of anyone but the clock.
        {"volume of a", Event::volume(a, 1500, 5.0), {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
        // Unrouted symbol below the watermark: the clock keeps its value.
        {"price of b", Event::price(b, 1200, 7.0), {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        // A clock tick belongs to the global symbol, not to a.
        {"clock tick", Event::time(2000), {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
    };
    for (const Step& step : steps) {
        ASSERT_TRUE(ex.handle_event(step.event)) << step.what;
        EXPECT_EQ(mask(ex), step.marked) << step.what;
    }

    const auto v = ex.vector().values();
    EXPECT_TRUE(std::isnan(v[0]));           // one price: no return yet
    EXPECT_TRUE(std::isnan(v[1]));           // one price: no return yet
    EXPECT_EQ(v[2], 2.0);                    // only the classified trade
    EXPECT_DOUBLE_EQ(v[3], 1.0 / 101.0);     // (102 - 101) * 1 / 101
    EXPECT_EQ(v[4], 100.0);                  // one price sample
    EXPECT_TRUE(std::isnan(v[5]));           // no return
    EXPECT_EQ(v[6], 0.0);                    // both trades in bucket 1: direction 0
    EXPECT_EQ(v[7], 3.0);
    EXPECT_DOUBLE_EQ(v[8], (101.0 * 2.0 + 102.0) / 3.0);
    EXPECT_EQ(v[9], 2.0);
    EXPECT_EQ(v[10], 1000.0);                // first event of the day at 1000
}

TEST_F(DerivationRouting, TimedVolatilityTreatsATradeAsTimePassing) {
    auto ex = build({{*VolatilityTimedDerivation::create(a, SourceField::Price, three, SECOND,
                                                         first),
                      {a, RouteKind::AnyMarketEvent}}});
    ASSERT_TRUE(ex.handle_event(Event::price(a, 0, 100.0)));
    ASSERT_TRUE(ex.handle_event(Event::price(a, 500, 110.0)));
    EXPECT_EQ(ex.vector().values()[0], 0.0);  // one return

    ASSERT_TRUE(ex.handle_event(Event::trade(a, 500, 1.0, 1.0)));  // same time: no rewrite
    EXPECT_EQ(mask(ex), std::vector<uint8_t>{0});
    ASSERT_TRUE(ex.handle_event(Event::trade(a, 2999, 1.0, 1.0)));  // later: rewritten
    EXPECT_EQ(mask(ex), std::vector<uint8_t>{1});
    EXPECT_EQ(ex.vector().values()[0], 0.0);  // the price 1.0 fed nothing
    ASSERT_TRUE(ex.handle_event(Event::trade(a, 3000, 1.0, 1.0)));
    EXPECT_TRUE(std::isnan(ex.vector().values()[0]));  // the return's bucket left
}

TEST_F(DerivationRouting, RepeatedNonInputTimestampWritesOnce) {
    auto ex = build({{*TradeVolumeTimedDerivation::create(a, three, SECOND, first),
                      {a, RouteKind::AnyMarketEvent}}});
    ASSERT_TRUE(ex.handle_event(Event::trade(a, 0, 10.0, 4.0)));
    ASSERT_TRUE(ex.handle_event(Event::price(a, 3000, 10.0)));
    EXPECT_EQ(mask(ex), std::vector<uint8_t>{1});
    EXPECT_EQ(ex.vector().values()[0], 0.0);
    ASSERT_TRUE(ex.handle_event(Event::volume(a, 3000, 1.0)));
    EXPECT_EQ(mask(ex), std::vector<uint8_t>{0});
    EXPECT_EQ(ex.vector().values()[0], 0.0);
}

}  // namespace
}  // namespace zelk
