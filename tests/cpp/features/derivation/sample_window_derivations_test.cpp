// Returns, Volatility, Cvd and Vpt derivations driven directly through a sink:
// which events feed them, and the write rule (every cell written and marked,
// NaN beyond the windows).
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

#include "zelk/features/derivation/cvd.hpp"
#include "zelk/features/derivation/returns.hpp"
#include "zelk/features/derivation/volatility.hpp"
#include "zelk/features/derivation/vpt.hpp"
#include "zelk/symbols.hpp"

namespace zelk {
namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// Four cells, NaN and unmarked; derivations write from cell 1 so that a write
// outside their range shows up in cell 0 or 3.
struct Cells {
    std::array<double, 4> values{NaN, NaN, NaN, NaN};
    std::array<uint8_t, 4> mask{};
    OutputSink sink{values.data(), mask.data()};

    void clear_mask() { mask.fill(0); }
    bool untouched() const { return mask == std::array<uint8_t, 4>{}; }
};

class SampleWindowDerivations : public ::testing::Test {
protected:
    Symbol a = *intern("derivation-a");
    Symbol b = *intern("derivation-b");
};

TEST_F(SampleWindowDerivations, ReturnsFeedOnTheirFieldAndFillSpareCellsWithNaN) {
    const uint64_t lags[] = {1};
    auto returns = *ReturnsDerivation::create(a, SourceField::TradePrice, ReturnKind::Simple, lags);
    Cells cells;
    for (const Event& ignored : {Event::price(a, 0, 100.0), Event::trade(b, 0, 100.0, 1.0),
                                 Event::volume(a, 0, 5.0), Event::time(0)}) {
        returns.update(ignored, 1, 2, cells.sink);
    }
    EXPECT_TRUE(cells.untouched());

    returns.update(Event::trade(a, 0, 100.0, 1.0), 1, 2, cells.sink);
    returns.update(Event::trade(a, 1, 110.0, 1.0), 1, 2, cells.sink);
    EXPECT_DOUBLE_EQ(cells.values[1], 0.1);
    EXPECT_TRUE(std::isnan(cells.values[2]));  // beyond the single lag
    EXPECT_EQ(cells.mask, (std::array<uint8_t, 4>{0, 1, 1, 0}));
}

TEST_F(SampleWindowDerivations, VolatilityIgnoresTimeAndOtherKinds) {
    const uint64_t windows[] = {2, 3};
    auto volatility =
        *VolatilityDerivation::create(a, SourceField::Price, windows, WarmupPolicy::FullWindow);
    Cells cells;
    for (double price : {100.0, 110.0, 121.0}) {
        volatility.update(Event::price(a, 0, price), 1, 2, cells.sink);
    }
    EXPECT_NEAR(cells.values[1], 0.0, 1e-15);
    EXPECT_TRUE(std::isnan(cells.values[2]));  // full window of 3 returns not reached
    const auto before = cells.values;
    cells.clear_mask();
    volatility.update(Event::trade(a, 10'000, 50.0, 1.0), 1, 2, cells.sink);
    volatility.update(Event::time(20'000), 1, 2, cells.sink);
    EXPECT_TRUE(cells.untouched());
    EXPECT_EQ(cells.values[1], before[1]);
}

TEST_F(SampleWindowDerivations, CvdIgnoresTradesWithoutSide) {
    const uint64_t windows[] = {2};
    auto cvd = *CvdDerivation::create(a, windows, WarmupPolicy::FirstValue);
    Cells cells;
    cvd.update(Event::trade(a, 0, 10.0, 5.0, AggressorSide::Buy), 1, 1, cells.sink);
    EXPECT_EQ(cells.values[1], 5.0);
    cells.clear_mask();
    cvd.update(Event::trade(a, 1, 10.0, 7.0), 1, 1, cells.sink);  // unclassified
    cvd.update(Event::trade(b, 1, 10.0, 7.0, AggressorSide::Sell), 1, 1, cells.sink);
    EXPECT_TRUE(cells.untouched());
    EXPECT_EQ(cells.values[1], 5.0);
    cvd.update(Event::trade(a, 2, 10.0, 3.0, AggressorSide::Sell), 1, 1, cells.sink);
    EXPECT_EQ(cells.values[1], 2.0);
    EXPECT_EQ(cells.mask[1], 1);
}

TEST_F(SampleWindowDerivations, VptFeedsOnEveryTradeOfItsSymbol) {
    VptDerivation vpt(a);
    Cells cells;
    vpt.update(Event::price(a, 0, 10.0), 1, 1, cells.sink);
    vpt.update(Event::trade(b, 0, 10.0, 1.0), 1, 1, cells.sink);
    EXPECT_TRUE(cells.untouched());
    vpt.update(Event::trade(a, 0, 10.0, 5.0), 1, 1, cells.sink);
    EXPECT_EQ(cells.values[1], 0.0);
    vpt.update(Event::trade(a, 1, 11.0, 2.0), 1, 1, cells.sink);
    EXPECT_DOUBLE_EQ(cells.values[1], 0.2);
    EXPECT_EQ(cells.mask, (std::array<uint8_t, 4>{0, 1, 0, 0}));
}

}  // namespace
}  // namespace zelk
