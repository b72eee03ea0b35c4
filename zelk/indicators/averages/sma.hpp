// SimpleMovingAverageTimed: the mean of the bucket means of the last W
// milliseconds, for up to 16 timed windows.
//
// A bucket's value is the mean of the samples that fell into it; a window's
// value is the plain mean of its bucket values, so every bucket counts once
// however many samples it had (samples 1 and 3 in one bucket and 10 in the
// next average to 6, not 14 / 3). Each window keeps the number of newest
// buckets it holds and the sum of their means. update and observe never
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

class SimpleMovingAverageTimed {
public:
    // One window per entry of `periods` (in buckets), in that order. Errors:
    // those of TimedSchedule::create (kind SmaTimed) and add_window, then
    // WindowPeriodOutOfRange (usize) when the buckets cannot be allocated.
    static Result<SimpleMovingAverageTimed> create(Duration aggregation,
                                                   std::span<const uint64_t> periods,
                                                   WarmupPolicy warmup);

    // Adds one more window; fails as TimedSchedule::add_window does.
    Status add_window(uint64_t period);
    // Lets time pass; false, changing nothing, when `t` equals the last
    // observed time.
    bool observe(Timestamp t);
    // Feeds one sample at `t`.
    void update(Timestamp t, double x);

    size_t window_count() const { return windows_.size(); }
    bool ready(size_t w) const { return schedule_.ready(w); }
    // Number of buckets inside the window.
    size_t bucket_count(size_t w) const { return windows_[w].buckets; }
    // Mean of the window's bucket means, ready or not; 0.0 when the window
    // holds no bucket.
    double average(size_t w) const {
        const WindowState& s = windows_[w];
        if (s.buckets == 0) return 0.0;
        return s.sum / static_cast<double>(static_cast<int64_t>(s.buckets));
    }

private:
    struct Bucket {
        int64_t bucket = 0;
        double mean = 0.0;
    };
    struct WindowState {
        size_t buckets = 0;  // how many of the newest buckets lie inside the window
        double sum = 0.0;    // sum of their means
    };

    SimpleMovingAverageTimed(TimedSchedule schedule, HeapRingBuffer<Bucket> buckets);
    bool observe_in(Timestamp t, int64_t current);
    void expire(int64_t current);

    TimedSchedule schedule_;
    HeapRingBuffer<Bucket> buckets_;
    WindowArray<WindowState> windows_;
    // Running sum and sample count of the newest bucket.
    double bucket_sum_ = 0.0;
    uint64_t bucket_samples_ = 0;
};

}  // namespace zelk
