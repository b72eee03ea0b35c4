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

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "zelk/duration.hpp"
#include "zelk/error.hpp"
#include "zelk/indicator_kind.hpp"
#include "zelk/indicators/timed_indicator.hpp"

namespace zelk {

template <size_t N>
struct TimedSumBucket {
    int64_t bucket = 0;  // bucket index, floor(t / aggregation)
    std::array<double, N> sums{};
};

template <size_t N>
struct TimedSumWindow {
    size_t front = 0;  // buffer position of the oldest bucket inside the window
    std::array<double, N> sums{};
};

template <size_t N>
class RollingTimedSum
    : public TimedIndicator<RollingTimedSum<N>, TimedSumBucket<N>, TimedSumWindow<N>> {
    using Base = TimedIndicator<RollingTimedSum<N>, TimedSumBucket<N>, TimedSumWindow<N>>;

  public:
    using Sums = std::array<double, N>;

    // An instance with one window per entry of `periods` (in buckets), in that
    // order; the bucket capacity is the largest period + 1. `kind` names the
    // indicator in TimedPeriodTooLarge. Errors: those of TimedSchedule::create
    // and TimedSchedule::add_window, then WindowPeriodOutOfRange (usize) when
    // the buckets cannot be allocated.
    static Result<RollingTimedSum> create(IndicatorKind kind, Duration aggregation,
                                          std::span<const uint64_t> periods, WarmupPolicy warmup) {
        return Base::create_timed(kind, aggregation, periods, warmup);
    }

    // Feeds one input at `t`: merges it into the current bucket or opens a
    // new one, and adds it to every window.
    void update(Timestamp t, const Sums& values) {
        const int64_t current = this->begin_update(t);
        // An evicted bucket had left every window already; the front indices
        // move back with the buffer so they point at the same buckets.
        bool evicted = false;
        if (!buckets_.empty() && buckets_.back().bucket == current) {
            add(buckets_.back().sums, values);
        } else {
            evicted = buckets_.push_back(TimedSumBucket<N>{current, values}).has_value();
        }
        for (TimedSumWindow<N>& w : windows_) {
            if (evicted && w.front > 0) --w.front;
            add(w.sums, values);
        }
    }

    // The window's sums, whether or not it is ready.
    const Sums& sums(size_t w) const { return windows_[w].sums; }

  private:
    friend Base;
    using Base::Base;
    using Base::buckets_;
    using Base::schedule_;
    using Base::windows_;

    static void add(Sums& into, const Sums& values) {
        for (size_t i = 0; i < N; ++i) into[i] += values[i];
    }

    void expire(int64_t current) {
        const size_t len = buckets_.len();
        for (size_t w = 0; w < windows_.size(); ++w) {
            TimedSumWindow<N>& state = windows_[w];
            while (state.front < len &&
                   schedule_.expired(w, buckets_.get(state.front).bucket, current)) {
                const Sums& leaving = buckets_.get(state.front).sums;
                for (size_t i = 0; i < N; ++i) state.sums[i] -= leaving[i];
                ++state.front;
            }
            if (state.front == len) state.sums = Sums{};
        }
    }
};

}  // namespace zelk
