#include "zelk/indicators/averages/sma.hpp"

#include <gtest/gtest.h>

namespace zelk {
namespace {

constexpr Duration SECOND{1, 0};

SimpleMovingAverageTimed sma(std::initializer_list<uint64_t> periods,
                             WarmupPolicy warmup = WarmupPolicy::FirstValue) {
    return *SimpleMovingAverageTimed::create(SECOND, std::span(periods.begin(), periods.size()),
                                             warmup);
}

TEST(SimpleMovingAverageTimed, EveryBucketCountsOnce) {
    auto average = sma({2});
    average.update(0, 1.0);
    average.update(999, 3.0);  // bucket mean 2
    EXPECT_EQ(average.average(0), 2.0);
    average.update(1000, 10.0);  // bucket mean 10
    EXPECT_EQ(average.bucket_count(0), 2u);
    EXPECT_EQ(average.average(0), 6.0);  // not 14 / 3
}

TEST(SimpleMovingAverageTimed, NegativeTimestampsShareTheBucketBelowZero) {
    auto average = sma({2});
    average.update(-1000, 1.0);
    average.update(-1, 3.0);
    average.update(0, 10.0);
    EXPECT_EQ(average.bucket_count(0), 2u);
    EXPECT_EQ(average.average(0), 6.0);
}

TEST(SimpleMovingAverageTimed, ExpiryEmptiesWindowsIndependently) {
    auto average = sma({1, 3});
    average.update(0, 4.0);
    average.update(1000, 8.0);
    EXPECT_EQ(average.average(0), 8.0);
    EXPECT_EQ(average.average(1), 6.0);

    EXPECT_TRUE(average.observe(2500));
    EXPECT_EQ(average.bucket_count(0), 0u);
    EXPECT_EQ(average.average(0), 0.0);  // an empty window averages to 0.0
    EXPECT_EQ(average.average(1), 6.0);

    average.observe(3000);  // bucket 0 leaves the 3-bucket window
    EXPECT_EQ(average.bucket_count(1), 1u);
    EXPECT_EQ(average.average(1), 8.0);

    average.update(3000, 2.0);  // a new bucket enters both windows
    EXPECT_EQ(average.average(0), 2.0);
    EXPECT_EQ(average.average(1), 5.0);
    average.update(3001, 4.0);  // merged: bucket mean 3
    EXPECT_EQ(average.average(0), 3.0);
    EXPECT_EQ(average.average(1), 5.5);
}

TEST(SimpleMovingAverageTimed, FullWindowReadinessFollowsTime) {
    auto average = sma({3}, WarmupPolicy::FullWindow);
    average.update(500, 1.0);
    EXPECT_FALSE(average.ready(0));
    average.observe(3500);
    EXPECT_TRUE(average.ready(0));
}

}  // namespace
}  // namespace zelk
