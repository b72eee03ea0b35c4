#include "zelk/indicators/averages/sma.hpp"

#include <algorithm>

namespace zelk {

Result<SimpleMovingAverageTimed> SimpleMovingAverageTimed::create(
    Duration aggregation, std::span<const uint64_t> periods, WarmupPolicy warmup) {
    const uint64_t largest =
        periods.empty() ? 0 : *std::max_element(periods.begin(), periods.end());
    auto schedule = TimedSchedule::create(IndicatorKind::SmaTimed, aggregation, largest, warmup);
    if (!schedule) return std::unexpected(std::move(schedule.error()));
    for (const uint64_t period : periods) {
        if (auto ok = schedule->add_window(period); !ok) return std::unexpected(ok.error());
    }
    auto buckets = allocate_window_buffer<Bucket>(schedule->capacity());
    if (!buckets) return std::unexpected(std::move(buckets.error()));
    return SimpleMovingAverageTimed(std::move(*schedule), std::move(*buckets));
}

SimpleMovingAverageTimed::SimpleMovingAverageTimed(TimedSchedule schedule,
                                                   HeapRingBuffer<Bucket> buckets)
    : schedule_(std::move(schedule)), buckets_(std::move(buckets)) {
    for (size_t w = 0; w < schedule_.window_count(); ++w) windows_.push_back(WindowState{});
}

Status SimpleMovingAverageTimed::add_window(uint64_t period) {
    if (auto ok = schedule_.add_window(period); !ok) return ok;
    windows_.push_back(WindowState{});
    return {};
}

bool SimpleMovingAverageTimed::observe(Timestamp t) { return observe_in(t, schedule_.locate(t)); }

bool SimpleMovingAverageTimed::observe_in(Timestamp t, int64_t current) {
    if (!schedule_.advance(t)) return false;
    if (schedule_.enter_bucket(current)) expire(current);
    schedule_.refresh_readiness(t);
    return true;
}

void SimpleMovingAverageTimed::expire(int64_t current) {
    const size_t len = buckets_.len();
    for (size_t w = 0; w < windows_.size(); ++w) {
        WindowState& state = windows_[w];
        if (state.buckets == 0) continue;
        while (state.buckets > 0) {
            const Bucket& oldest = buckets_.get(len - state.buckets);
            if (!schedule_.expired(w, oldest.bucket, current)) break;
            state.sum -= oldest.mean;
            --state.buckets;
        }
        // An emptied window drops the rounding its sum accumulated.
        if (state.buckets == 0) state.sum = 0.0;
    }
}

void SimpleMovingAverageTimed::update(Timestamp t, double x) {
    const int64_t current = schedule_.locate(t);
    schedule_.start(t);
    observe_in(t, current);
    if (!buckets_.empty() && buckets_.back().bucket == current) {
        bucket_sum_ += x;
        ++bucket_samples_;
        const double old_mean = buckets_.back().mean;
        const double samples = static_cast<double>(static_cast<int64_t>(bucket_samples_));
        const double new_mean = bucket_sum_ / samples;
        buckets_.back().mean = new_mean;
        for (size_t w = 0; w < windows_.size(); ++w) {
            WindowState& state = windows_[w];
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
    if (const auto evicted = buckets_.push_back(Bucket{current, x})) {
        for (WindowState& state : windows_) {
            if (state.buckets == len_before) {
                state.sum -= evicted->mean;
                --state.buckets;
            }
        }
    }
    for (WindowState& state : windows_) {
        state.sum += x;
        ++state.buckets;
    }
}

}  // namespace zelk
