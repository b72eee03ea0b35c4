#include "zelk/indicators/volume/cvd.hpp"

#include <algorithm>

#include "zelk/indicators/window_buffer.hpp"

namespace zelk {

Result<CumulativeVolumeDelta> CumulativeVolumeDelta::create(std::span<const uint64_t> windows,
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
        states.push_back(Window{period, 0.0});
    }
    auto buffer = allocate_window_buffer<double>(capacity);
    if (!buffer) return std::unexpected(std::move(buffer.error()));
    return CumulativeVolumeDelta(std::move(*buffer), states, warmup);
}

void CumulativeVolumeDelta::update_inner(bool sell, double volume) {
    const double v = sell ? -volume : volume;
    const size_t len = volumes_.len();
    for (Window& w : windows_) {
        // Add before subtracting the volume that leaves the window.
        w.sum = w.sum + v;
        if (w.period <= len) w.sum = w.sum - volumes_.get(len - w.period);
    }
    volumes_.push_back(v);
}

}  // namespace zelk
