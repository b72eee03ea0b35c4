#include "zelk/indicators/volatility/rolling_volatility_timed.hpp"

#include <algorithm>

namespace zelk {

Result<RollingVolatilityTimed> RollingVolatilityTimed::create(Duration aggregation,
                                                              std::span<const uint64_t> periods,
                                                              WarmupPolicy warmup) {
    const uint64_t largest =
        periods.empty() ? 0 : *std::max_element(periods.begin(), periods.end());
    auto schedule =
        TimedSchedule::create(IndicatorKind::VolatilityTimed, aggregation, largest, warmup);
    if (!schedule) return std::unexpected(std::move(schedule.error()));
    for (const uint64_t period : periods) {
        if (auto ok = schedule->add_window(period); !ok) return std::unexpected(ok.error());
    }
    auto buckets = allocate_window_buffer<Bucket>(schedule->capacity());
    if (!buckets) return std::unexpected(std::move(buckets.error()));
    return RollingVolatilityTimed(std::move(*schedule), std::move(*buckets));
}

RollingVolatilityTimed::RollingVolatilityTimed(TimedSchedule schedule,
                                               HeapRingBuffer<Bucket> buckets)
    : schedule_(std::move(schedule)), buckets_(std::move(buckets)) {
    for (size_t w = 0; w < schedule_.window_count(); ++w) windows_.push_back(WindowState{});
}

Status RollingVolatilityTimed::add_window(uint64_t period) {
    if (auto ok = schedule_.add_window(period); !ok) return ok;
    windows_.push_back(WindowState{});
    return {};
}

bool RollingVolatilityTimed::observe(Timestamp t) { return observe_in(t, schedule_.locate(t)); }

bool RollingVolatilityTimed::observe_in(Timestamp t, int64_t current) {
    if (!schedule_.advance(t)) return false;
    if (schedule_.enter_bucket(current)) expire(current);
    schedule_.refresh_readiness(t);
    return true;
}

void RollingVolatilityTimed::expire(int64_t current) {
    const size_t len = buckets_.len();
    for (size_t w = 0; w < windows_.size(); ++w) {
        WindowState& state = windows_[w];
        while (state.buckets > 0) {
            const Bucket& oldest = buckets_.get(len - state.buckets);
            if (!schedule_.expired(w, oldest.bucket, current)) break;
            state.moments.remove_group(oldest.moments);
            --state.buckets;
        }
    }
}

void RollingVolatilityTimed::update(Timestamp t, double x) {
    const int64_t current = schedule_.locate(t);
    schedule_.start(t);
    observe_in(t, current);
    const std::optional<double> previous = previous_;
    previous_ = x;
    if (!previous || *previous == 0.0) return;

    const double r = (x - *previous) / *previous;
    if (!buckets_.empty() && buckets_.back().bucket == current) {
        buckets_.back().moments.merge(r);
        for (size_t w = 0; w < windows_.size(); ++w) {
            WindowState& state = windows_[w];
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
    if (const auto evicted = buckets_.push_back(Bucket{current, first})) {
        for (WindowState& state : windows_) {
            if (state.buckets == len_before) {
                state.moments.remove_group(evicted->moments);
                --state.buckets;
            }
        }
    }
    for (WindowState& state : windows_) {
        state.moments.merge(r);
        ++state.buckets;
    }
}

}  // namespace zelk
