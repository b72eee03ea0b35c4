// CumulativeVolumeDelta: the sum of the last n signed trade volumes (buys
// positive, sells negative), for up to 16 windows over one shared buffer.
//
// Each window keeps a running sum, adds the new volume and subtracts the one
// that leaves it; an update is O(windows) and never allocates. Trades without
// an aggressor side never reach it. Not thread-safe.
#pragma once

#include <cstdint>
#include <limits>
#include <span>

#include "zelk/error.hpp"
#include "zelk/indicators/window_array.hpp"
#include "zelk/ring_buffer.hpp"
#include "zelk/types.hpp"

namespace zelk {

class CumulativeVolumeDelta {
public:
    // One window per entry of `windows` (in trades), in that order; the buffer
    // holds the largest window. Errors: an empty list or a largest window of 0
    // (RingBufferCapacityZero); then per window in order a 17th
    // (WindowLimitReached), 0 (WindowPeriodZero), or one beyond the capacity
    // (WindowPeriodExceedsCapacity); last a buffer that cannot be allocated
    // (WindowPeriodOutOfRange, usize).
    static Result<CumulativeVolumeDelta> create(std::span<const uint64_t> windows,
                                                WarmupPolicy warmup);

    // Feeds one classified trade; `sell` when the aggressor sold.
    void update_inner(bool sell, double volume);

    size_t window_count() const { return windows_.size(); }
    // The window's sum, or NaN while not warmed up: with FirstValue until the
    // first trade, with FullWindow until the window's period of trades exist.
    double value(size_t w) const {
        const size_t len = volumes_.len();
        const bool warm =
            warmup_ == WarmupPolicy::FirstValue ? len > 0 : len >= windows_[w].period;
        return warm ? windows_[w].sum : std::numeric_limits<double>::quiet_NaN();
    }

private:
    struct Window {
        uint64_t period = 0;
        double sum = 0.0;
    };

    CumulativeVolumeDelta(HeapRingBuffer<double> buffer, WindowArray<Window> windows,
                          WarmupPolicy warmup)
        : volumes_(std::move(buffer)), windows_(windows), warmup_(warmup) {}

    HeapRingBuffer<double> volumes_;
    WindowArray<Window> windows_;
    WarmupPolicy warmup_;
};

}  // namespace zelk
