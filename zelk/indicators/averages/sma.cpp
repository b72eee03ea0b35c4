#include "zelk/indicators/averages/sma.hpp"

namespace zelk {

void SimpleMovingAverageTimed::expire(int64_t current) {
    const size_t len = buckets_.len();
    for (size_t w = 0; w < windows_.size(); ++w) {
        SmaTimedWindow& state = windows_[w];
        if (state.buckets == 0) continue;
        while (state.buckets > 0) {
            const SmaTimedBucket& oldest = buckets_.get(len - state.buckets);
            if (!schedule_.expired(w, oldest.bucket, current)) break;
            state.sum -= oldest.mean;
            --state.buckets;
        }
        // An emptied window drops the rounding its sum accumulated.
        if (state.buckets == 0) state.sum = 0.0;
    }
}

void SimpleMovingAverageTimed::update(Timestamp t, double x) {
    const int64_t current = begin_update(t);
    if (!buckets_.empty() && buckets_.back().bucket == current) {
        bucket_sum_ += x;
        ++bucket_samples_;
        const double old_mean = buckets_.back().mean;
        const double samples = static_cast<double>(static_cast<int64_t>(bucket_samples_));
        const double new_mean = bucket_sum_ / samples;
        buckets_.back().mean = new_mean;
        for (size_t w = 0; w < windows_.size(); ++w) {
            SmaTimedWindow& state = windows_[w];
            if (state.buckets > 0) {
                state.sum = state.sum - old_mean + new_mean;
            } else if (!schedule_.expired(w, current, current)) {
                state.sum = new_mean;
                state.buckets = 1;
            }
        }
        return;
    }

    bucket_sum_ = x;
    bucket_samples_ = 1;
    const size_t len_before = buckets_.len();
    if (const auto evicted = buckets_.push_back(SmaTimedBucket{current, x})) {
        for (SmaTimedWindow& state : windows_) {
            if (state.buckets == len_before) {
                state.sum -= evicted->mean;
                --state.buckets;
            }
        }
    }
    for (SmaTimedWindow& state : windows_) {
        state.sum += x;
        ++state.buckets;
    }
}

}  // namespace zelk
