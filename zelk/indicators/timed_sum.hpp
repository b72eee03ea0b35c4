// RollingTimedSum<N>: N running sums over timed windows of bucketed values.
//
// With N = 1 it sums trade volumes (timed trade volume, and the trade count
// fed 1.0 per trade); with N = 2 it keeps price * volume and volume side by
// side for the timed VWAP. Each window remembers the oldest bucket still inside
// it as a front index into the shared bucket buffer. When a window loses its
// last bucket its sums are reset to exactly 0.0, which discards the rounding
// that repeated additions and subtractions leave behind.
//
// update and observe are O(windows + buckets expired) and never allocate.
// Timestamps given to one instance must not decrease. Not thread-safe.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "zelk/duration.hpp"
#include "zelk/error.hpp"
#include "zelk/indicator_kind.hpp"
#include "zelk/indicators/timed_schedule.hpp"
#include "zelk/indicators/window_buffer.hpp"
#include "zelk/indicators/window_array.hpp"
#include "zelk/ring_buffer.hpp"

namespace zelk {

template <size_t N>
struct TimedSumBucket {
    int64_t bucket = 0;  // bucket index, floor(t / aggregation)
    std::array<double, N> sums{};
};

template <size_t N>
class RollingTimedSum {
public:
    using Sums = std::array<double, N>;

    // An instance with one window per entry of `periods` (in buckets), in that
    // order; the bucket capacity is the largest period + 1. `kind` names the
    // indicator in TimedPeriodTooLarge. Errors: those of TimedSchedule::create
    // and TimedSchedule::add_window, then WindowPeriodOutOfRange (usize) when
    // the buckets cannot be allocated.
    static Result<RollingTimedSum> create(IndicatorKind kind, Duration aggregation,
                                          std::span<const uint64_t> periods,
                                          WarmupPolicy warmup) {
        const uint64_t largest =
            periods.empty() ? 0 : *std::max_element(periods.begin(), periods.end());
        auto schedule = TimedSchedule::create(kind, aggregation, largest, warmup);
        if (!schedule) return std::unexpected(std::move(schedule.error()));
        // Every window is checked before the bucket buffer is allocated.
        for (const uint64_t period : periods) {
            if (auto ok = schedule->add_window(period); !ok) return std::unexpected(ok.error());
        }
        auto buckets = allocate_window_buffer<TimedSumBucket<N>>(schedule->capacity());
        if (!buckets) return std::unexpected(std::move(buckets.error()));
        return RollingTimedSum(std::move(*schedule), std::move(*buckets));
    }

    // Adds one more window of `period` buckets; fails as
    // TimedSchedule::add_window does (notably after the first update).
    Status add_window(uint64_t period) {
        if (auto ok = schedule_.add_window(period); !ok) return ok;
        windows_.push_back(WindowState{buckets_.len(), Sums{}});
        return {};
    }

    // Lets time pass: buckets that left a window stop contributing to it.
    // Returns false, changing nothing, when `t` equals the last observed time.
    bool observe(Timestamp t) { return observe_in(t, schedule_.locate(t)); }

    // Feeds one input at `t`: merges it into the current bucket or opens a
    // new one, and adds it to every window.
    void update(Timestamp t, const Sums& values) {
        const int64_t current = schedule_.locate(t);
        schedule_.start(t);
        observe_in(t, current);
        // An evicted bucket had left every window already; the front indices
        // move back with the buffer so they point at the same buckets.
        bool evicted = false;
        if (!buckets_.empty() && buckets_.back().bucket == current) {
            add(buckets_.back().sums, values);
        } else {
            evicted = buckets_.push_back(TimedSumBucket<N>{current, values}).has_value();
        }
        for (WindowState& w : windows_) {
            if (evicted && w.front > 0) --w.front;
            add(w.sums, values);
        }
    }

    size_t window_count() const { return windows_.size(); }
    bool ready(size_t w) const { return schedule_.ready(w); }
    // The window's sums, whether or not it is ready.
    const Sums& sums(size_t w) const { return windows_[w].sums; }
    const TimedSchedule& schedule() const { return schedule_; }

private:
    struct WindowState {
        size_t front = 0;  // buffer position of the oldest bucket inside the window
        Sums sums{};
    };

    RollingTimedSum(TimedSchedule schedule, HeapRingBuffer<TimedSumBucket<N>> buckets)
        : schedule_(std::move(schedule)), buckets_(std::move(buckets)) {
        for (size_t w = 0; w < schedule_.window_count(); ++w) windows_.push_back(WindowState{});
    }

    bool observe_in(Timestamp t, int64_t current) {
        if (!schedule_.advance(t)) return false;
        if (schedule_.enter_bucket(current)) expire(current);
        schedule_.refresh_readiness(t);
        return true;
    }

    static void add(Sums& into, const Sums& values) {
        for (size_t i = 0; i < N; ++i) into[i] += values[i];
    }

    void expire(int64_t current) {
        const size_t len = buckets_.len();
        for (size_t w = 0; w < windows_.size(); ++w) {
            WindowState& state = windows_[w];
            while (state.front < len &&
                   schedule_.expired(w, buckets_.get(state.front).bucket, current)) {
                const Sums& leaving = buckets_.get(state.front).sums;
                for (size_t i = 0; i < N; ++i) state.sums[i] -= leaving[i];
                ++state.front;
            }
            if (state.front == len) state.sums = Sums{};
        }
    }

    TimedSchedule schedule_;
    HeapRingBuffer<TimedSumBucket<N>> buckets_;
    WindowArray<WindowState> windows_;
};

}  // namespace zelk
