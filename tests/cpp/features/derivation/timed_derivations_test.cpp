// The six timed derivations driven directly through a sink: inputs feed
// them, other events of their symbol only let time pass (and write only when
// time advanced), events of other symbols change nothing.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "zelk/features/derivation/feature_derivation.hpp"
#include "zelk/symbols.hpp"

namespace zelk {
namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr Duration SECOND{1, 0};
constexpr Duration THREE_SECONDS{3, 0};

void expect_same(double actual, double expected, const std::string& what) {
    if (std::isnan(expected)) {
        EXPECT_TRUE(std::isnan(actual)) << what << ": " << actual;
    } else {
        EXPECT_DOUBLE_EQ(actual, expected) << what;
    }
}

class TimedDerivations : public ::testing::Test {
protected:
    Symbol a = *intern("derivation-a");
    Symbol b = *intern("derivation-b");
    const uint64_t periods[1] = {3};
    const WarmupPolicy first = WarmupPolicy::FirstValue;
};

TEST_F(TimedDerivations, InputsFeedAndOtherEventsOfTheSymbolLetTimePass) {
    struct Case {
        const char* name;
        FeatureDerivation derivation;
        std::array<double, 2> after_trades;  // both cells, after two trades
        std::array<double, 2> after_gap;     // both cells, after every bucket left
    };
    std::vector<Case> cases;
    cases.push_back({"trade volume",
                     *TradeVolumeTimedDerivation::create(a, periods, SECOND, first),
                     {3.0, NaN},
                     {0.0, NaN}});
    cases.push_back({"vwap",
                     *VwapTimedDerivation::create(a, periods, SECOND, first),
                     {31.0 / 3.0, NaN},
                     {NaN, NaN}});
    cases.push_back({"trade count",
                     *TradeCountTimedDerivation::create(a, SECOND, THREE_SECONDS, first),
                     {2.0, 2.0},
                     {0.0, 0.0}});
    cases.push_back(
        {"obv", *ObvTimedDerivation::create(a, periods, SECOND, first), {0.0, NaN}, {0.0, NaN}});
    cases.push_back(
        {"sma",
         *SmaTimedDerivation::create(a, SourceField::TradePrice, periods, SECOND, first),
         {10.5, NaN},
         {NaN, NaN}});
    cases.push_back(
        {"volatility",
         *VolatilityTimedDerivation::create(a, SourceField::TradePrice, periods, SECOND, first),
         {0.0, NaN},
         {NaN, NaN}});

    for (Case& c : cases) {
        std::array<double, 3> values{NaN, NaN, NaN};
        std::array<uint8_t, 3> mask{};
        OutputSink sink(values.data(), mask.data());
        auto feed = [&](const Event& event) {
            mask.fill(0);
            std::visit([&](auto& d) { d.update(event, 0, 2, sink); }, c.derivation);
        };
        const std::string name = c.name;

        feed(Event::trade(a, 0, 10.0, 2.0));
        EXPECT_EQ(mask, (std::array<uint8_t, 3>{1, 1, 0})) << name;
        feed(Event::trade(a, 500, 11.0, 1.0));
        for (size_t i = 0; i < 2; ++i) {
            expect_same(values[i], c.after_trades[i], name + " cell " + std::to_string(i));
        }

        // Not inputs: same timestamp as the last one, other symbols, clock ticks.
        for (const Event& e : {Event::price(a, 500, 99.0), Event::volume(a, 500, 1.0),
                               Event::trade(b, 600, 1.0, 1.0), Event::time(700)}) {
            feed(e);
            EXPECT_EQ(mask, (std::array<uint8_t, 3>{})) << name;
        }

        feed(Event::price(a, 6000, 99.0));  // time advanced: every bucket left
        EXPECT_EQ(mask, (std::array<uint8_t, 3>{1, 1, 0})) << name;
        for (size_t i = 0; i < 2; ++i) {
            expect_same(values[i], c.after_gap[i], name + " cell " + std::to_string(i));
        }
        EXPECT_TRUE(std::isnan(values[2])) << name;
    }
}

TEST_F(TimedDerivations, FullWindowCellsStayNaNUntilTheWindowElapsed) {
    auto volume =
        *TradeVolumeTimedDerivation::create(a, periods, SECOND, WarmupPolicy::FullWindow);
    double cell = 0.0;
    uint8_t mark = 0;
    OutputSink sink(&cell, &mark);
    volume.update(Event::trade(a, 500, 10.0, 2.0), 0, 1, sink);
    EXPECT_TRUE(std::isnan(cell));
    volume.update(Event::price(a, 3499, 10.0), 0, 1, sink);
    EXPECT_TRUE(std::isnan(cell));
    volume.update(Event::price(a, 3500, 10.0), 0, 1, sink);
    EXPECT_EQ(cell, 0.0);  // ready, and the bucket [0, 1000) has left
}

TEST_F(TimedDerivations, BuildersReportArgumentErrors) {
    const uint64_t zero[] = {0};
    auto sma = SmaTimedDerivation::create(a, SourceField::Price, zero, SECOND, first);
    ASSERT_FALSE(sma);
    EXPECT_EQ(to_string(sma.error()), "invalid argument: window period must be greater than 0");
    auto count = TradeCountTimedDerivation::create(a, SECOND, Duration{2, 500'000'000}, first);
    ASSERT_FALSE(count);
    EXPECT_EQ(to_string(count.error()),
              "invalid argument: window must be a multiple of aggregation");
}

}  // namespace
}  // namespace zelk
