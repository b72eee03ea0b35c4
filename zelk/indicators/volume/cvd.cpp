#include "zelk/indicators/volume/cvd.hpp"

#include "zelk/indicators/window_buffer.hpp"

namespace zelk {

Result<CumulativeVolumeDelta> CumulativeVolumeDelta::create(std::span<const uint64_t> windows,
                                                            WarmupPolicy warmup) {
    auto parts = create_sample_windows<double, Window>(windows);
    if (!parts) return std::unexpected(std::move(parts.error()));
    return CumulativeVolumeDelta(std::move(parts->buffer), parts->windows, warmup);
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
