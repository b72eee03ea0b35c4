// Construction checks, bucket alignment and readiness shared by the timed
// indicators. The checks are exercised through the public indicators.
#include "zelk/indicators/timed_schedule.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "zelk/indicators/averages/sma.hpp"
#include "zelk/indicators/timed_sum.hpp"
#include "zelk/indicators/volatility/rolling_volatility_timed.hpp"
#include "zelk/indicators/volume/obv.hpp"

namespace zelk {
namespace {

constexpr uint64_t U64_MAX = std::numeric_limits<uint64_t>::max();
constexpr Duration SECOND{1, 0};

template <typename T>
std::string error_text(const Result<T>& result) {
    return result ? "ok" : to_string(result.error());
}

TEST(TimedConstruction, ChecksInOrderWithExactTexts) {
    struct Case {
        const char* name;
        Duration aggregation;
        std::vector<uint64_t> periods;
        const char* text;
    };
    std::vector<uint64_t> seventeen(17, 1);
    const Case cases[] = {
        {"largest period at the unsigned maximum", SECOND, {2, U64_MAX},
         "invalid argument: timed SMA timed period is too large"},
        {"period check before aggregation check", Duration{}, {U64_MAX},
         "invalid argument: timed SMA timed period is too large"},
        {"zero aggregation", Duration{}, {3},
         "invalid argument: aggregation duration must be at least 1 millisecond"},
        {"1.5 ms aggregation", Duration{0, 1'500'000}, {3},
         "invalid argument: aggregation duration must use whole-millisecond precision"},
        {"half a millisecond is a precision error", Duration{0, 500'000}, {3},
         "invalid argument: aggregation duration must use whole-millisecond precision"},
        {"aggregation beyond signed 64-bit ms", Duration{uint64_t{1} << 62, 0}, {3},
         "invalid argument: aggregation duration must fit signed 64-bit milliseconds"},
        {"aggregation checked before windows", Duration{0, 1'500'000}, {0},
         "invalid argument: aggregation duration must use whole-millisecond precision"},
        {"seventeenth window", SECOND, seventeen,
         "invalid argument: maximum number of windows (16) reached"},
        {"zero period", SECOND, {3, 0}, "invalid argument: window period must be greater than 0"},
        {"period beyond signed 64-bit", Duration{0, 1'000'000}, {uint64_t{1} << 63},
         "invalid argument: window period must fit signed 64-bit"},
        {"window duration overflow", SECOND, {uint64_t{1} << 62},
         "invalid argument: window duration must fit signed 64-bit milliseconds"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(error_text(SimpleMovingAverageTimed::create(c.aggregation, c.periods,
                                                              WarmupPolicy::FirstValue)),
                  c.text)
            << c.name;
    }
}

TEST(TimedConstruction, TooLargePeriodNamesEachIndicator) {
    const uint64_t periods[] = {U64_MAX};
    const auto w = WarmupPolicy::FirstValue;
    EXPECT_EQ(error_text(RollingTimedSum<1>::create(IndicatorKind::TradeVolumeTimed, SECOND,
                                                    periods, w)),
              "invalid argument: timed trade volume timed period is too large");
    EXPECT_EQ(
        error_text(RollingTimedSum<2>::create(IndicatorKind::VwapTimed, SECOND, periods, w)),
        "invalid argument: timed VWAP timed period is too large");
    EXPECT_EQ(error_text(OnBalanceVolumeTimed::create(SECOND, periods, w)),
              "invalid argument: timed OBV timed period is too large");
    EXPECT_EQ(error_text(RollingVolatilityTimed::create(SECOND, periods, w)),
              "invalid argument: timed rolling volatility timed period is too large");
}

TEST(TimedConstruction, BucketsBeyondMemoryAreRefused) {
    // 2^62 buckets of 1 ms: the window fits signed 64-bit milliseconds, the
    // bucket buffer fits no address space.
    const uint64_t periods[] = {uint64_t{1} << 62};
    const Duration millisecond{0, 1'000'000};
    const auto w = WarmupPolicy::FirstValue;
    const std::string text = "invalid argument: window period must fit usize";
    EXPECT_EQ(error_text(RollingTimedSum<1>::create(IndicatorKind::TradeVolumeTimed, millisecond,
                                                    periods, w)),
              text);
    EXPECT_EQ(error_text(RollingTimedSum<2>::create(IndicatorKind::VwapTimed, millisecond,
                                                    periods, w)),
              text);
    EXPECT_EQ(error_text(SimpleMovingAverageTimed::create(millisecond, periods, w)), text);
    EXPECT_EQ(error_text(RollingVolatilityTimed::create(millisecond, periods, w)), text);
    EXPECT_EQ(error_text(OnBalanceVolumeTimed::create(millisecond, periods, w)), text);
}

TEST(TimedConstruction, AddWindowChecksCapacityAndData) {
    const uint64_t periods[] = {2};  // capacity 3
    auto sma = *SimpleMovingAverageTimed::create(SECOND, periods, WarmupPolicy::FirstValue);
    auto status = sma.add_window(3);
    ASSERT_FALSE(status);
    EXPECT_EQ(to_string(status.error()),
              "invalid argument: window period 3 must be less than ring buffer capacity 3");
    ASSERT_TRUE(sma.add_window(1));
    EXPECT_EQ(sma.window_count(), 2u);

    sma.update(0, 1.0);
    status = sma.add_window(1);
    ASSERT_FALSE(status);
    EXPECT_EQ(to_string(status.error()),
              "invalid argument: cannot add a window after data has been added");
    EXPECT_EQ(sma.window_count(), 2u);  // a refused window leaves nothing behind
}

// Feeds `added` (created with the first window, the second added through
// add_window) and `created` (both windows at create) the same stream of
// samples and time steps, checking after every step that the windows agree;
// then checks that the added-to indicator refuses a window after data.
template <typename Indicator, typename Feed, typename Values>
void expect_added_window_matches_created(Indicator created, Indicator added, Feed feed,
                                         Values values) {
    ASSERT_TRUE(added.add_window(1));
    ASSERT_EQ(added.window_count(), created.window_count());
    for (int i = 0; i < 30; ++i) {
        // 700 ms steps: some buckets take two samples, others none; every
        // third step only lets time pass.
        const Timestamp t = i * 700;
        if (i % 3 == 2) {
            EXPECT_EQ(created.observe(t), added.observe(t));
        } else {
            const double x = 1.0 + static_cast<double>(i * 37 % 11);
            feed(created, t, x);
            feed(added, t, x);
        }
        for (size_t w = 0; w < created.window_count(); ++w) {
            EXPECT_EQ(created.ready(w), added.ready(w)) << "step " << i << " window " << w;
            EXPECT_EQ(values(created, w), values(added, w)) << "step " << i << " window " << w;
        }
    }
    const auto status = added.add_window(2);
    ASSERT_FALSE(status);
    EXPECT_EQ(to_string(status.error()),
              "invalid argument: cannot add a window after data has been added");
    EXPECT_EQ(added.window_count(), 2u);
}

TEST(TimedConstruction, AddedWindowMatchesACreatedOneInEveryIndicator) {
    const uint64_t both[] = {3, 1};
    const uint64_t first[] = {3};
    const WarmupPolicy full = WarmupPolicy::FullWindow;
    {
        SCOPED_TRACE("SMA");
        expect_added_window_matches_created(
            *SimpleMovingAverageTimed::create(SECOND, both, full),
            *SimpleMovingAverageTimed::create(SECOND, first, full),
            [](auto& ind, Timestamp t, double x) { ind.update(t, x); },
            [](const auto& ind, size_t w) {
                return std::pair{ind.bucket_count(w), ind.average(w)};
            });
    }
    {
        SCOPED_TRACE("volatility");
        expect_added_window_matches_created(
            *RollingVolatilityTimed::create(SECOND, both, full),
            *RollingVolatilityTimed::create(SECOND, first, full),
            [](auto& ind, Timestamp t, double x) { ind.update(t, x); },
            [](const auto& ind, size_t w) { return ind.volatility(w); });
    }
    {
        SCOPED_TRACE("OBV");
        expect_added_window_matches_created(
            *OnBalanceVolumeTimed::create(SECOND, both, full),
            *OnBalanceVolumeTimed::create(SECOND, first, full),
            [](auto& ind, Timestamp t, double x) { ind.update(t, x, 10.0 - x); },
            [](const auto& ind, size_t w) { return ind.signed_volume(w); });
    }
    {
        SCOPED_TRACE("timed sums");
        const auto kind = IndicatorKind::VwapTimed;
        expect_added_window_matches_created(
            *RollingTimedSum<2>::create(kind, SECOND, both, full),
            *RollingTimedSum<2>::create(kind, SECOND, first, full),
            [](auto& ind, Timestamp t, double x) {
                ind.update(t, {x * 2.0, 2.0});
            },
            [](const auto& ind, size_t w) { return ind.sums(w); });
    }
}

TEST(TimedSchedule, BucketsAlignByFloorDivision) {
    const auto schedule = *TimedSchedule::create(IndicatorKind::SmaTimed, SECOND, 3,
                                                 WarmupPolicy::FirstValue);
    EXPECT_EQ(schedule.aggregation_ms(), 1000);
    EXPECT_EQ(schedule.capacity(), 4u);
    EXPECT_EQ(schedule.bucket_of(-1), -1);  // the bucket starting at -1000
    EXPECT_EQ(schedule.bucket_of(-1000), -1);
    EXPECT_EQ(schedule.bucket_of(-1001), -2);
    EXPECT_EQ(schedule.bucket_of(0), 0);
    EXPECT_EQ(schedule.bucket_of(999), 0);
    // Extreme timestamps have a bucket even where start = index * A would not fit.
    EXPECT_EQ(schedule.bucket_of(std::numeric_limits<int64_t>::min()),
              std::numeric_limits<int64_t>::min() / 1000 - 1);
}

TEST(TimedSchedule, ReadinessUnderBothPolicies) {
    const uint64_t periods[] = {3};  // 3000 ms
    auto full = *RollingTimedSum<1>::create(IndicatorKind::TradeVolumeTimed, SECOND, periods,
                                            WarmupPolicy::FullWindow);
    auto first = *RollingTimedSum<1>::create(IndicatorKind::TradeVolumeTimed, SECOND, periods,
                                             WarmupPolicy::FirstValue);
    EXPECT_TRUE(full.observe(100));
    EXPECT_FALSE(full.ready(0));  // no data yet
    EXPECT_FALSE(first.ready(0));

    full.update(500, {1.0});
    first.update(500, {1.0});
    EXPECT_FALSE(full.ready(0));
    EXPECT_TRUE(first.ready(0));

    EXPECT_TRUE(full.observe(3499));
    EXPECT_FALSE(full.ready(0));
    EXPECT_TRUE(full.observe(3500));
    EXPECT_TRUE(full.ready(0));
    // Once ready, always ready, even when the window empties.
    full.observe(100'000);
    EXPECT_TRUE(full.ready(0));
    EXPECT_EQ(full.sums(0)[0], 0.0);
}

TEST(TimedSchedule, UpdateAlsoReachesReadiness) {
    const uint64_t periods[] = {3};
    auto full = *RollingTimedSum<1>::create(IndicatorKind::TradeVolumeTimed, SECOND, periods,
                                            WarmupPolicy::FullWindow);
    full.update(500, {1.0});
    full.update(3500, {1.0});
    EXPECT_TRUE(full.ready(0));
}

TEST(TimedSchedule, ExtremeTimestampsDoNotOverflow) {
    const uint64_t periods[] = {2};
    auto sum = *RollingTimedSum<1>::create(IndicatorKind::TradeVolumeTimed, SECOND, periods,
                                           WarmupPolicy::FullWindow);
    sum.update(std::numeric_limits<int64_t>::min(), {1.0});
    sum.update(std::numeric_limits<int64_t>::max(), {2.0});
    EXPECT_TRUE(sum.ready(0));
    EXPECT_EQ(sum.sums(0)[0], 2.0);
}

}  // namespace
}  // namespace zelk
