#include "zelk/indicators/volatility/moments.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace zelk {
namespace {

TEST(Moments, PopulationVolatilityAndRemoval) {
    Moments m;
    EXPECT_EQ(m.volatility(), std::nullopt);
    for (double x : {1.0, 2.0, 3.0, 4.0}) m.add(x);
    EXPECT_DOUBLE_EQ(*m.volatility(), std::sqrt(1.25));  // divisor n, not n - 1
    m.remove(1.0);
    EXPECT_EQ(m.count, 3u);
    EXPECT_DOUBLE_EQ(m.mean, 3.0);
    EXPECT_DOUBLE_EQ(*m.volatility(), std::sqrt(2.0 / 3.0));
    m.remove(2.0);
    m.remove(3.0);
    m.remove(4.0);
    EXPECT_EQ(m, Moments{});  // removing the last value resets exactly
}

TEST(Moments, GroupRemovalMatchesTheRemainingGroup) {
    Moments all, first, rest;
    for (double x : {0.5, -1.0, 2.0}) {
        all.merge(x);
        first.merge(x);
    }
    for (double x : {3.0, 0.25}) {
        all.merge(x);
        rest.merge(x);
    }
    all.remove_group(first);
    EXPECT_EQ(all.count, rest.count);
    EXPECT_DOUBLE_EQ(all.mean, rest.mean);
    EXPECT_NEAR(all.m2, rest.m2, 1e-12);
    all.remove_group(rest);
    EXPECT_EQ(all, Moments{});
}

TEST(Moments, SlightlyNegativeSquaresReadAsZero) {
    Moments m{2, 1.0, -1e-18};
    EXPECT_EQ(m.volatility(), 0.0);
}

}  // namespace
}  // namespace zelk
