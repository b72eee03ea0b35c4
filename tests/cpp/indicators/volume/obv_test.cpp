#include "zelk/indicators/volume/obv.hpp"

#include <gtest/gtest.h>

namespace zelk {
namespace {

constexpr Duration SECOND{1, 0};

OnBalanceVolumeTimed obv(std::initializer_list<uint64_t> periods) {
    return *OnBalanceVolumeTimed::create(SECOND, std::span(periods.begin(), periods.size()),
                                         WarmupPolicy::FirstValue);
}

TEST(OnBalanceVolumeTimed, DirectionFollowsTheBucketClose) {
    auto indicator = obv({3});
    indicator.update(0, 10.0, 5.0);  // first bucket: direction 0
    EXPECT_EQ(indicator.signed_volume(0), 0.0);
    indicator.update(1000, 11.0, 2.0);  // close up: +2
    EXPECT_EQ(indicator.signed_volume(0), 2.0);
    indicator.update(1500, 9.0, 1.0);  // same bucket, close now down: -(2 + 1)
    EXPECT_EQ(indicator.signed_volume(0), -3.0);
    indicator.update(2000, 9.0, 4.0);  // equal close: 0
    EXPECT_EQ(indicator.signed_volume(0), -3.0);
}

TEST(OnBalanceVolumeTimed, ExpiryKeepsRoundingInsteadOfResetting) {
    auto indicator = obv({3});
    indicator.update(0, 1.0, 5.0);
    indicator.update(1000, 2.0, 0.1);
    indicator.update(2000, 3.0, 0.2);
    indicator.update(3000, 4.0, 0.3);  // bucket 0 (direction 0) leaves
    EXPECT_DOUBLE_EQ(indicator.signed_volume(0), 0.6);
    indicator.observe(7000);  // every bucket has left the window
    // 0.1 + 0.2 + 0.3 - 0.1 - 0.2 - 0.3 in floating point: the residue stays.
    EXPECT_NE(indicator.signed_volume(0), 0.0);
    EXPECT_NEAR(indicator.signed_volume(0), 0.0, 1e-15);
}

TEST(OnBalanceVolumeTimed, EvictedBucketsAreOutsideEveryWindow) {
    auto indicator = obv({1, 2});  // capacity 3
    double price = 10.0;
    for (int second = 0; second < 10; ++second) {
        price += (second % 3 == 0) ? -1.0 : 1.0;
        indicator.update(second * 1000, price, 1.0 + second);
    }
    // Seconds 8 (+1, up) and 9 (-1, down): volumes 9 and 10.
    EXPECT_EQ(indicator.signed_volume(0), -10.0);
    EXPECT_EQ(indicator.signed_volume(1), 9.0 - 10.0);
}

}  // namespace
}  // namespace zelk
