// OnBalanceVolumeTimed: signed trade volume over timed windows, for up to 16
// windows.
//
// Each bucket records its close (last trade price), its total volume and a
// direction: +1, -1 or 0 as its close is above, below or equal to the close of
// the bucket before it in the buffer (0 for the first bucket). A window's value
// is the sum of direction * volume over its buckets. Unlike the timed sums, an
// emptied window keeps whatever its sum rounded to. update and observe never
// allocate. Timestamps given to one instance must not decrease. Not
// thread-safe.
#pragma once

#include <cstdint>
#include <span>

#include "zelk/duration.hpp"
#include "zelk/error.hpp"
#include "zelk/indicators/timed_schedule.hpp"
#include "zelk/indicators/window_array.hpp"
#include "zelk/indicators/window_buffer.hpp"
#include "zelk/ring_buffer.hpp"

namespace zelk {

class OnBalanceVolumeTimed {
public:
    // One window per entry of `periods` (in buckets), in that order. Errors:
    // those of TimedSchedule::create (kind ObvTimed) and add_window, then
    // WindowPeriodOutOfRange (usize) when the buckets cannot be allocated.
    static Result<OnBalanceVolumeTimed> create(Duration aggregation,
                                               std::span<const uint64_t> periods,
                                               WarmupPolicy warmup);

    // Adds one more window; fails as TimedSchedule::add_window does.
    Status add_window(uint64_t period);
    // Lets time pass; false, changing nothing, when `t` equals the last
    // observed time.
    bool observe(Timestamp t);
    // Feeds one trade at `t`.
    void update(Timestamp t, double price, double volume);

    size_t window_count() const { return windows_.size(); }
    bool ready(size_t w) const { return schedule_.ready(w); }
    // The window's signed-volume sum, ready or not.
    double signed_volume(size_t w) const { return windows_[w].sum; }

private:
    struct Bucket {
        int64_t bucket = 0;
        double close = 0.0;
        double volume = 0.0;
        double direction = 0.0;  // +1, -1 or 0
    };
    struct WindowState {
        size_t front = 0;  // buffer position of the oldest bucket inside the window
        double sum = 0.0;
    };

    OnBalanceVolumeTimed(TimedSchedule schedule, HeapRingBuffer<Bucket> buckets);
    bool observe_in(Timestamp t, int64_t current);
    void expire(int64_t current);

    TimedSchedule schedule_;
    HeapRingBuffer<Bucket> buckets_;
    WindowArray<WindowState> windows_;
};

}  // namespace zelk
