#include "zelk/features/derivation/time_since_first_event_of_day.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace zelk {
namespace {

constexpr int64_t HOUR = 3'600'000;
constexpr int64_t DAY = 86'400'000;

double feed(TimeSinceFirstEventOfDayDerivation& d, Timestamp t) {
    double cell = -1.0;
    uint8_t mark = 0;
    OutputSink sink(&cell, &mark);
    d.update(Event::time(t), 0, 1, sink);
    EXPECT_EQ(mark, 1);
    return cell;
}

TEST(TimeSinceFirstEventOfDay, LocalMidnightStartsANewDay) {
    TimeSinceFirstEventOfDayDerivation d(3 * HOUR);
    const Timestamp nine_pm = 21 * HOUR;  // local midnight at UTC+3
    EXPECT_EQ(feed(d, nine_pm - 5000), 0.0);
    EXPECT_EQ(feed(d, nine_pm - 1), 4999.0);
    EXPECT_EQ(feed(d, nine_pm), 0.0);
    EXPECT_EQ(feed(d, nine_pm + 5000), 5000.0);
}

TEST(TimeSinceFirstEventOfDay, NegativeTimesUseFloorDivision) {
    TimeSinceFirstEventOfDayDerivation d(0);
    EXPECT_EQ(feed(d, -DAY), 0.0);  // 1969-12-31 00:00
    EXPECT_EQ(feed(d, -1), static_cast<double>(DAY - 1));
    EXPECT_EQ(feed(d, 0), 0.0);
}

TEST(TimeSinceFirstEventOfDay, LocalDayNeverOverflows) {
    constexpr int64_t MAX = std::numeric_limits<int64_t>::max();
    constexpr int64_t MIN = std::numeric_limits<int64_t>::min();
    EXPECT_EQ(TimeSinceFirstEventOfDayDerivation::local_day(MAX, 14 * HOUR), 106'751'991'167);
    EXPECT_EQ(TimeSinceFirstEventOfDayDerivation::local_day(MIN, -14 * HOUR), -106'751'991'168);
    EXPECT_EQ(TimeSinceFirstEventOfDayDerivation::local_day(-1, 0), -1);
    TimeSinceFirstEventOfDayDerivation d(14 * HOUR);
    EXPECT_EQ(feed(d, MAX - 10), 0.0);
    EXPECT_EQ(feed(d, MAX), 10.0);
}

}  // namespace
}  // namespace zelk
