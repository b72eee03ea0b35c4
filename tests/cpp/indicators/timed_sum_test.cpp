#include "zelk/indicators/timed_sum.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace zelk {
namespace {

constexpr Duration SECOND{1, 0};

RollingTimedSum<1> volume_sum(std::initializer_list<uint64_t> periods) {
    return *RollingTimedSum<1>::create(IndicatorKind::TradeVolumeTimed, SECOND,
                                       std::span(periods.begin(), periods.size()),
                                       WarmupPolicy::FirstValue);
}

TEST(RollingTimedSum, BucketsLeaveTheWindowAsTimePasses) {
    auto sum = volume_sum({3});  // 3000 ms
    sum.update(0, {1.0});
    sum.update(1500, {1.0});
    sum.update(2999, {1.0});
    EXPECT_EQ(sum.sums(0)[0], 3.0);

    EXPECT_TRUE(sum.observe(3000));  // the bucket [0, 1000) leaves
    EXPECT_EQ(sum.sums(0)[0], 2.0);
    EXPECT_FALSE(sum.observe(3000));  // same timestamp: nothing happens
    EXPECT_EQ(sum.sums(0)[0], 2.0);

    EXPECT_TRUE(sum.observe(6000));
    EXPECT_EQ(sum.sums(0)[0], 0.0);
}

TEST(RollingTimedSum, EmptiedWindowResetsToExactZero) {
    // 0.1 + 0.2 + 0.3 - 0.1 - 0.2 - 0.3 leaves 1.1e-16 in floating point.
    auto sum = volume_sum({3});
    sum.update(0, {0.1});
    sum.update(1000, {0.2});
    sum.update(2000, {0.3});
    sum.observe(3000);
    EXPECT_DOUBLE_EQ(sum.sums(0)[0], 0.5);
    sum.observe(6000);
    EXPECT_EQ(sum.sums(0)[0], 0.0);
    EXPECT_FALSE(std::signbit(sum.sums(0)[0]));
}

TEST(RollingTimedSum, NegativeTimestampsShareTheBucketBelowZero) {
    auto sum = volume_sum({1});  // only the current bucket
    sum.update(-1000, {1.0});
    sum.update(-1, {2.0});  // same bucket [-1000, 0)
    EXPECT_EQ(sum.sums(0)[0], 3.0);
    sum.update(0, {5.0});  // a new bucket; the old one leaves the 1-bucket window
    EXPECT_EQ(sum.sums(0)[0], 5.0);
}

TEST(RollingTimedSum, WindowsOfDifferentLengthsShareBucketsAcrossEviction) {
    // Capacity 4 buckets: the buffer wraps many times below.
    auto sum = volume_sum({1, 3});
    for (int second = 0; second < 20; ++second) {
        sum.update(second * 1000, {static_cast<double>(second)});
        sum.update(second * 1000 + 500, {1.0});
    }
    // Last three seconds 17, 18, 19 each add their index plus 1.
    EXPECT_EQ(sum.sums(0)[0], 20.0);
    EXPECT_EQ(sum.sums(1)[0], 18.0 + 19.0 + 20.0);
    sum.observe(21'000);  // second 19 is still inside the 3-bucket window only
    EXPECT_EQ(sum.sums(0)[0], 0.0);
    EXPECT_EQ(sum.sums(1)[0], 20.0);
}

TEST(RollingTimedSum, TwoSumsMoveTogether) {
    const uint64_t periods[] = {2};
    auto vwap = *RollingTimedSum<2>::create(IndicatorKind::VwapTimed, SECOND, periods,
                                            WarmupPolicy::FirstValue);
    vwap.update(0, {10.0 * 2.0, 2.0});
    vwap.update(1000, {12.0 * 1.0, 1.0});
    EXPECT_EQ(vwap.sums(0)[0], 32.0);
    EXPECT_EQ(vwap.sums(0)[1], 3.0);
    vwap.observe(2000);
    EXPECT_EQ(vwap.sums(0)[0], 12.0);
    EXPECT_EQ(vwap.sums(0)[1], 1.0);
}

}  // namespace
}  // namespace zelk
