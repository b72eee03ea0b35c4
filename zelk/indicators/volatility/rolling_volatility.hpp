// RollingVolatility: population standard deviation of the last n simple
// returns, for up to 16 windows over one shared buffer of returns.
//
// A return r = (x - p) / p is formed from each input x and the input p before
// it, unless p is exactly 0.0. Each window keeps its Moments and corrects them
// with the return that leaves it, so an update is O(windows) and never
// allocates. Not thread-safe.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <span>

#include "zelk/error.hpp"
#include "zelk/indicators/volatility/moments.hpp"
#include "zelk/indicators/window_array.hpp"
#include "zelk/ring_buffer.hpp"
#include "zelk/types.hpp"

namespace zelk {

class RollingVolatility {
public:
    // One window per entry of `windows` (in returns), in that order; the
    // return buffer holds the largest window. Errors: an empty list or a
    // largest window of 0 (RingBufferCapacityZero); then per window in order a
    // 17th (WindowLimitReached), 0 (WindowPeriodZero), or one beyond the
    // capacity (WindowPeriodExceedsCapacity); last a buffer that cannot be allocated
    // (WindowPeriodOutOfRange, usize).
    static Result<RollingVolatility> create(std::span<const uint64_t> windows,
                                            WarmupPolicy warmup);

    // Feeds one input (a price).
    void update(double x);

    size_t window_count() const { return windows_.size(); }
    // The window's volatility, or NaN while it is not warmed up: with
    // FirstValue until a first input exists and while the window holds no
    // return, with FullWindow until the buffer holds the window's period.
    double value(size_t w) const {
        const Window& window = windows_[w];
        const bool warm = warmup_ == WarmupPolicy::FirstValue ? previous_.has_value()
                                                              : returns_.len() >= window.period;
        if (!warm || window.moments.count == 0) return std::numeric_limits<double>::quiet_NaN();
        return *window.moments.volatility();
    }
    const Moments& moments(size_t w) const { return windows_[w].moments; }

private:
    struct Window {
        uint64_t period = 0;
        Moments moments;
    };

    RollingVolatility(HeapRingBuffer<double> buffer, WindowArray<Window> windows,
                      WarmupPolicy warmup)
        : returns_(std::move(buffer)), windows_(windows), warmup_(warmup) {}

    std::optional<double> previous_;
    HeapRingBuffer<double> returns_;
    WindowArray<Window> windows_;
    WarmupPolicy warmup_;
};

}  // namespace zelk
