#include "zelk/indicators/volatility/rolling_volatility.hpp"

#include "zelk/indicators/window_buffer.hpp"

namespace zelk {

Result<RollingVolatility> RollingVolatility::create(std::span<const uint64_t> windows,
                                                    WarmupPolicy warmup) {
    auto parts = create_sample_windows<double, Window>(windows);
    if (!parts) return std::unexpected(std::move(parts.error()));
    return RollingVolatility(std::move(parts->buffer), parts->windows, warmup);
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
