// TimedIndicator<Derived, Bucket, WindowState>: the parts every timed-window
// indicator shares, as a base that the indicator (Derived) inherits from.
//
// It holds the schedule, the ring buffer of buckets (a Bucket carries its
// bucket index in a member `bucket`) and one WindowState per window, and
// provides creation, adding windows and the observe pass. Derived supplies
//     void expire(int64_t current);  // drop what has left each window
// and its own update, which starts with begin_update(t); create() also needs
//     static constexpr IndicatorKind KIND;  // named in TimedPeriodTooLarge
// Calls into Derived are resolved at compile time, and nothing here allocates
// after creation. Derived declares TimedIndicator a friend so that it can
// reach its constructor and expire. Not thread-safe.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "zelk/duration.hpp"
#include "zelk/error.hpp"
#include "zelk/indicator_kind.hpp"
#include "zelk/indicators/timed_schedule.hpp"
#include "zelk/indicators/window_array.hpp"
#include "zelk/indicators/window_buffer.hpp"
#include "zelk/ring_buffer.hpp"
#include "zelk/types.hpp"

namespace zelk {

template <typename Derived, typename Bucket, typename WindowState>
class TimedIndicator {
  public:
    // One window per entry of `periods` (in buckets), in that order. Errors:
    // those of TimedSchedule::create (kind Derived::KIND) and add_window, then
    // WindowPeriodOutOfRange (usize) when the buckets cannot be allocated.
    static Result<Derived> create(Duration aggregation, std::span<const uint64_t> periods,
                                  WarmupPolicy warmup) {
        return create_timed(Derived::KIND, aggregation, periods, warmup);
    }

    // Adds one more window of `period` buckets; fails as
    // TimedSchedule::add_window does (notably after the first update). The
    // window starts as a value-initialised WindowState: windows are only added
    // before any data, so there is no bucket it could hold yet.
    Status add_window(uint64_t period) {
        if (auto ok = schedule_.add_window(period); !ok) return ok;
        windows_.push_back(WindowState{});
        return {};
    }

    // Lets time pass: buckets that left a window stop contributing to it.
    // Returns false, changing nothing, when `t` equals the last observed time.
    bool observe(Timestamp t) { return observe_in(t, schedule_.locate(t)); }

    size_t window_count() const { return windows_.size(); }
    bool ready(size_t w) const { return schedule_.ready(w); }
    const TimedSchedule& schedule() const { return schedule_; }

  protected:
    // A Derived with one window per entry of `periods` (in buckets), in that
    // order; the bucket capacity is the largest period + 1. `kind` names the
    // indicator in TimedPeriodTooLarge. Errors: those of TimedSchedule::create
    // and TimedSchedule::add_window, then WindowPeriodOutOfRange (usize) when
    // the buckets cannot be allocated.
    static Result<Derived> create_timed(IndicatorKind kind, Duration aggregation,
                                        std::span<const uint64_t> periods, WarmupPolicy warmup) {
        const uint64_t largest =
            periods.empty() ? 0 : *std::max_element(periods.begin(), periods.end());
        auto schedule = TimedSchedule::create(kind, aggregation, largest, warmup);
        if (!schedule) return std::unexpected(std::move(schedule.error()));
        // Every window is checked before the bucket buffer is allocated.
        for (const uint64_t period : periods) {
            if (auto ok = schedule->add_window(period); !ok) return std::unexpected(ok.error());
        }
        auto buckets = allocate_window_buffer<Bucket>(schedule->capacity());
        if (!buckets) return std::unexpected(std::move(buckets.error()));
        return Derived(std::move(*schedule), std::move(*buckets));
    }

    TimedIndicator(TimedSchedule schedule, HeapRingBuffer<Bucket> buckets)
        : schedule_(std::move(schedule)), buckets_(std::move(buckets)) {
        for (size_t w = 0; w < schedule_.window_count(); ++w) windows_.push_back(WindowState{});
    }

    // Starts an update at `t`: records the first timestamp and lets time pass
    // up to `t`. Returns the bucket index of `t`.
    int64_t begin_update(Timestamp t) {
        const int64_t current = schedule_.locate(t);
        schedule_.start(t);
        observe_in(t, current);
        return current;
    }

    TimedSchedule schedule_;
    HeapRingBuffer<Bucket> buckets_;
    WindowArray<WindowState> windows_;

  private:
    bool observe_in(Timestamp t, int64_t current) {
        if (!schedule_.advance(t)) return false;
        if (schedule_.enter_bucket(current)) static_cast<Derived&>(*this).expire(current);
        schedule_.refresh_readiness(t);
        return true;
    }
};

}  // namespace zelk
