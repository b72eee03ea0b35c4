#include "zelk/indicators/volatility/rolling_volatility_timed.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace zelk {
namespace {

constexpr Duration SECOND{1, 0};

RollingVolatilityTimed volatility(std::initializer_list<uint64_t> periods) {
    return *RollingVolatilityTimed::create(SECOND, std::span(periods.begin(), periods.size()),
                                           WarmupPolicy::FirstValue);
}

TEST(RollingVolatilityTimed, ZeroPreviousPriceFormsNoReturn) {
    auto v = volatility({5});
    v.update(0, 0.0);
    v.update(1000, 10.0);  // previous 0.0: no return
    EXPECT_EQ(v.volatility(0), std::nullopt);
    v.update(2000, 11.0);  // r = 0.1
    EXPECT_EQ(v.moments(0).count, 1u);
    EXPECT_DOUBLE_EQ(v.moments(0).mean, 0.1);
    EXPECT_EQ(v.volatility(0), 0.0);
    v.update(2500, 9.9);  // r = -0.1, merged into the same bucket
    EXPECT_NEAR(*v.volatility(0), 0.1, 1e-15);
}

TEST(RollingVolatilityTimed, BucketsLeaveAsGroups) {
    auto v = volatility({1, 2});
    v.update(0, 100.0);
    v.update(100, 110.0);   // r = 0.1, bucket 0
    v.update(1100, 99.0);   // r = -0.1, bucket 1
    v.update(1200, 99.0);   // r = 0.0, bucket 1
    EXPECT_EQ(v.moments(0).count, 2u);  // bucket 1 only
    EXPECT_NEAR(*v.volatility(0), 0.05, 1e-15);
    EXPECT_EQ(v.moments(1).count, 3u);
    EXPECT_NEAR(*v.volatility(1), std::sqrt(0.02 / 3.0), 1e-15);

    EXPECT_TRUE(v.observe(2000));  // bucket 0 leaves window 1, bucket 1 leaves window 0
    EXPECT_EQ(v.volatility(0), std::nullopt);
    EXPECT_EQ(v.moments(1).count, 2u);
    EXPECT_NEAR(*v.volatility(1), 0.05, 1e-15);
    EXPECT_FALSE(v.observe(2000));
}

}  // namespace
}  // namespace zelk
