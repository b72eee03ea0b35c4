#include "zelk/indicators/volatility/rolling_volatility_timed.hpp"

namespace zelk {

void RollingVolatilityTimed::expire(int64_t current) {
    const size_t len = buckets_.len();
    for (size_t w = 0; w < windows_.size(); ++w) {
        VolatilityTimedWindow& state = windows_[w];
        while (state.buckets > 0) {
            const VolatilityTimedBucket& oldest = buckets_.get(len - state.buckets);
            if (!schedule_.expired(w, oldest.bucket, current)) break;
            state.moments.remove_group(oldest.moments);
            --state.buckets;
        }
    }
}

void RollingVolatilityTimed::update(Timestamp t, double x) {
    const int64_t current = begin_update(t);
    const std::optional<double> previous = previous_;
    previous_ = x;
    if (!previous || *previous == 0.0) return;

    const double r = (x - *previous) / *previous;
    if (!buckets_.empty() && buckets_.back().bucket == current) {
        buckets_.back().moments.merge(r);
        for (size_t w = 0; w < windows_.size(); ++w) {
            VolatilityTimedWindow& state = windows_[w];
            if (state.buckets > 0) {
                state.moments.merge(r);
            } else if (!schedule_.expired(w, current, current)) {
                state.moments.merge(r);
                state.buckets = 1;
            }
        }
        return;
    }

    const size_t len_before = buckets_.len();
    Moments first;
    first.merge(r);
    if (const auto evicted = buckets_.push_back(VolatilityTimedBucket{current, first})) {
        for (VolatilityTimedWindow& state : windows_) {
            if (state.buckets == len_before) {
                state.moments.remove_group(evicted->moments);
                --state.buckets;
            }
        }
    }
    for (VolatilityTimedWindow& state : windows_) {
        state.moments.merge(r);
        ++state.buckets;
    }
}

}  // namespace zelk
