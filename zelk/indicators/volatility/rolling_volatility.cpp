#include "zelk/indicators/volatility/rolling_volatility.hpp"

#include <algorithm>

#include "zelk/indicators/window_buffer.hpp"

namespace zelk {

Result<RollingVolatility> RollingVolatility::create(std::span<const uint64_t> windows,
                                                    WarmupPolicy warmup) {
    const uint64_t capacity =
        windows.empty() ? 0 : *std::max_element(windows.begin(), windows.end());
    if (capacity == 0) return std::unexpected(ZelkError{arg::RingBufferCapacityZero{}});
    WindowArray<Window> states;
    for (const uint64_t period : windows) {
        if (states.full()) return std::unexpected(ZelkError{arg::WindowLimitReached{MAX_WINDOWS}});
        if (period == 0) return std::unexpected(ZelkError{arg::WindowPeriodZero{}});
        if (period > capacity) {
            return std::unexpected(ZelkError{arg::WindowPeriodExceedsCapacity{period, capacity}});
        }
        states.push_back(Window{period, Moments{}});
    }
    auto buffer = allocate_window_buffer<double>(capacity);
    if (!buffer) return std::unexpected(std::move(buffer.error()));
    return RollingVolatility(std::move(*buffer), states, warmup);
}

void RollingVolatility::update(double x) {
    const std::optional<double> previous = previous_;
    previous_ = x;
    if (!previous || *previous == 0.0) return;

    const double r = (x - *previous) / *previous;
    const std::optional<double> evicted = returns_.push_back(r);
    const size_t len = returns_.len();
    const size_t capacity = returns_.capacity();
    for (Window& w : windows_) {
        w.moments.add(r);
        if (w.period == capacity) {
            if (evicted) w.moments.remove(*evicted);
        } else if (w.period < len) {
            w.moments.remove(returns_.get(len - 1 - w.period));
        }
    }
}

}  // namespace zelk
