#include "zelk/indicators/volume/obv.hpp"

namespace zelk {

namespace {

double direction(double close, double previous_close) {
    if (close > previous_close) return 1.0;
    if (close < previous_close) return -1.0;
    return 0.0;
}

}  // namespace

void OnBalanceVolumeTimed::expire(int64_t current) {
    const size_t len = buckets_.len();
    for (size_t w = 0; w < windows_.size(); ++w) {
        ObvTimedWindow& state = windows_[w];
        while (state.front < len &&
               schedule_.expired(w, buckets_.get(state.front).bucket, current)) {
            const ObvTimedBucket& leaving = buckets_.get(state.front);
            state.sum -= leaving.direction * leaving.volume;
            ++state.front;
        }
    }
}

void OnBalanceVolumeTimed::update(Timestamp t, double price, double volume) {
    const int64_t current = begin_update(t);
    const size_t len = buckets_.len();
    if (len > 0 && buckets_.back().bucket == current) {
        ObvTimedBucket& newest = buckets_.back();
        const double before = newest.direction * newest.volume;
        newest.volume += volume;
        newest.close = price;
        newest.direction = len >= 2 ? direction(price, buckets_.get(len - 2).close) : 0.0;
        const double change = newest.direction * newest.volume - before;
        for (ObvTimedWindow& state : windows_) state.sum += change;
        return;
    }

    const double d = len > 0 ? direction(price, buckets_.back().close) : 0.0;
    if (buckets_.push_back(ObvTimedBucket{current, price, volume, d})) {
        // The evicted bucket had left every window already; keep the front
        // indices pointing at the same buckets.
        for (ObvTimedWindow& state : windows_) {
            if (state.front > 0) --state.front;
        }
    }
    for (ObvTimedWindow& state : windows_) state.sum += d * volume;
}

}  // namespace zelk
