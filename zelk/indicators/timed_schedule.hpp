// TimedSchedule: the clock, windows and readiness shared by every timed-window
// indicator.
//
// Values are grouped into buckets of `aggregation_ms` milliseconds aligned on
// multiples of the aggregation since the epoch. Buckets are identified by
// their index floor(t / A) rather than by their start time: the index never
// overflows where A * index could (timestamps near the 64-bit limits), and a
// bucket of index b lies inside a window of p buckets at current index c
// exactly when c - b < p, which is the same test as c < start + p * A.
//
// The schedule owns the window list (period, duration, readiness); each
// indicator keeps its own per-window running state in a parallel array.
// Nothing here allocates. Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "zelk/duration.hpp"
#include "zelk/error.hpp"
#include "zelk/indicator_kind.hpp"
#include "zelk/indicators/window_array.hpp"
#include "zelk/types.hpp"

namespace zelk {

// One window of a timed indicator.
struct TimedWindow {
    uint64_t period = 0;    // in buckets, at least 1
    int64_t window_ms = 0;  // period * aggregation
    bool ready = false;     // never returns to false
};

// Whether `duration` is a whole number of milliseconds.
bool has_whole_millis(Duration duration);
// The whole milliseconds of `duration` (any sub-millisecond part dropped), or
// nullopt when they do not fit signed 64-bit.
std::optional<int64_t> signed_millis(Duration duration);

class TimedSchedule {
public:
    // Checks, in order: `largest_period` at the unsigned maximum
    // (TimedPeriodTooLarge with `kind`); a zero aggregation
    // (AggregationTooShort); an aggregation with a sub-millisecond part
    // (DurationPrecision) or beyond signed 64-bit milliseconds
    // (DurationOutOfRange). The bucket capacity is largest_period + 1.
    static Result<TimedSchedule> create(IndicatorKind kind, Duration aggregation,
                                        uint64_t largest_period, WarmupPolicy warmup);

    // Checks a window of `period` buckets and appends it. Fails, in order of
    // checking, with WindowLimitReached (16), WindowPeriodZero,
    // WindowPeriodMustBeLessThanCapacity, WindowAddedAfterData,
    // WindowPeriodOutOfRange or WindowDurationOutOfRange; a failure changes
    // nothing.
    Status add_window(uint64_t period);
    // add_window's checks without appending.
    Status check_window(uint64_t period) const;

    // Index of the bucket holding `t` (floor division, so -1 ms lies in the
    // bucket starting at -A).
    int64_t bucket_of(Timestamp t) const { return floor_div(t, aggregation_ms_); }

    // bucket_of(t), remembering the time range of the last bucket found so
    // that timestamps inside it (the common case) need no division.
    int64_t locate(Timestamp t) {
        if (t >= cached_from_ && t < cached_until_) return cached_bucket_;
        return locate_slow(t);
    }

    // Whether bucket `bucket` lies outside window `w` when the current bucket
    // is `current`.
    bool expired(size_t w, int64_t bucket, int64_t current) const {
        return current >= bucket &&
               static_cast<uint64_t>(current) - static_cast<uint64_t>(bucket) >=
                   windows_[w].period;
    }

    // Records `t` as the first update (readiness is evaluated at t); does
    // nothing after the first call.
    void start(Timestamp t) {
        if (first_timestamp_) return;
        first_timestamp_ = t;
        refresh_readiness(t);
    }
    // Starts an observe pass: false when `t` equals the last observed
    // timestamp (nothing may change then), otherwise records `t` and returns
    // true. The caller then expires its buckets (when enter_bucket allows)
    // and calls refresh_readiness(t).
    bool advance(Timestamp t) {
        if (last_observed_ && *last_observed_ == t) return false;
        last_observed_ = t;
        return true;
    }
    // Whether an expiry pass at bucket `current` can drop anything: false
    // when the previous pass ran at the same bucket. Which buckets lie
    // outside a window depends only on the current bucket, and every bucket
    // added since that pass is the current one, so such a pass would be a
    // no-op. Records `current` for the next call.
    bool enter_bucket(int64_t current) {
        if (expired_up_to_ && *expired_up_to_ == current) return false;
        expired_up_to_ = current;
        return true;
    }
    void refresh_readiness(Timestamp t) {
        // Readiness never returns to false, so the scan stops for good once
        // every window is ready.
        if (ready_windows_ < windows_.size()) mark_ready_windows(t);
    }

    bool has_data() const { return first_timestamp_.has_value(); }
    bool ready(size_t w) const { return windows_[w].ready; }
    size_t window_count() const { return windows_.size(); }
    const TimedWindow& window(size_t w) const { return windows_[w]; }
    size_t capacity() const { return capacity_; }
    int64_t aggregation_ms() const { return aggregation_ms_; }
    WarmupPolicy warmup() const { return warmup_; }

private:
    TimedSchedule(int64_t aggregation_ms, size_t capacity, WarmupPolicy warmup)
        : aggregation_ms_(aggregation_ms), capacity_(capacity), warmup_(warmup) {}

    void mark_ready_windows(Timestamp t);
    int64_t locate_slow(Timestamp t);

    int64_t aggregation_ms_;
    size_t capacity_;
    WarmupPolicy warmup_;
    std::optional<Timestamp> first_timestamp_;
    std::optional<Timestamp> last_observed_;
    WindowArray<TimedWindow> windows_;
    size_t ready_windows_ = 0;
    std::optional<int64_t> expired_up_to_;  // bucket of the last expiry pass
    // The bucket of the last locate() and the timestamps [from, until) it
    // covers; empty at first.
    int64_t cached_bucket_ = 0;
    Timestamp cached_from_ = 0;
    Timestamp cached_until_ = 0;
};

}  // namespace zelk
