#include "zelk/indicators/volume/obv.hpp"

#include <algorithm>

namespace zelk {

namespace {

double direction(double close, double previous_close) {
    if (close > previous_close) return 1.0;
    if (close < previous_close) return -1.0;
    return 0.0;
}

}  // namespace

Result<OnBalanceVolumeTimed> OnBalanceVolumeTimed::create(Duration aggregation,
                                                          std::span<const uint64_t> periods,
                                                          WarmupPolicy warmup) {
    const uint64_t largest =
        periods.empty() ? 0 : *std::max_element(periods.begin(), periods.end());
    auto schedule = TimedSchedule::create(IndicatorKind::ObvTimed, aggregation, largest, warmup);
    if (!schedule) return std::unexpected(std::move(schedule.error()));
    for (const uint64_t period : periods) {
        if (auto ok = schedule->add_window(period); !ok) return std::unexpected(ok.error());
    }
    auto buckets = allocate_window_buffer<Bucket>(schedule->capacity());
    if (!buckets) return std::unexpected(std::move(buckets.error()));
    return OnBalanceVolumeTimed(std::move(*schedule), std::move(*buckets));
}

OnBalanceVolumeTimed::OnBalanceVolumeTimed(TimedSchedule schedule, HeapRingBuffer<Bucket> buckets)
    : schedule_(std::move(schedule)), buckets_(std::move(buckets)) {
    for (size_t w = 0; w < schedule_.window_count(); ++w) windows_.push_back(WindowState{});
}

Status OnBalanceVolumeTimed::add_window(uint64_t period) {
    if (auto ok = schedule_.add_window(period); !ok) return ok;
    windows_.push_back(WindowState{buckets_.len(), 0.0});
    return {};
}

bool OnBalanceVolumeTimed::observe(Timestamp t) { return observe_in(t, schedule_.locate(t)); }

bool OnBalanceVolumeTimed::observe_in(Timestamp t, int64_t current) {
    if (!schedule_.advance(t)) return false;
    if (schedule_.enter_bucket(current)) expire(current);
    schedule_.refresh_readiness(t);
    return true;
}

void OnBalanceVolumeTimed::expire(int64_t current) {
    const size_t len = buckets_.len();
    for (size_t w = 0; w < windows_.size(); ++w) {
        WindowState& state = windows_[w];
        while (state.front < len &&
               schedule_.expired(w, buckets_.get(state.front).bucket, current)) {
            const Bucket& leaving = buckets_.get(state.front);
            state.sum -= leaving.direction * leaving.volume;
            ++state.front;
        }
    }
}

void OnBalanceVolumeTimed::update(Timestamp t, double price, double volume) {
    const int64_t current = schedule_.locate(t);
    schedule_.start(t);
    observe_in(t, current);
    const size_t len = buckets_.len();
    if (len > 0 && buckets_.back().bucket == current) {
        Bucket& newest = buckets_.back();
        const double before = newest.direction * newest.volume;
        newest.volume += volume;
        newest.close = price;
        newest.direction = len >= 2 ? direction(price, buckets_.get(len - 2).close) : 0.0;
        const double change = newest.direction * newest.volume - before;
        for (WindowState& state : windows_) state.sum += change;
        return;
    }

    const double d = len > 0 ? direction(price, buckets_.back().close) : 0.0;
    if (buckets_.push_back(Bucket{current, price, volume, d})) {
        // The evicted bucket had left every window already; keep the front
        // indices pointing at the same buckets.
        for (WindowState& state : windows_) {
            if (state.front > 0) --state.front;
        }
    }
    for (WindowState& state : windows_) state.sum += d * volume;
}

}  // namespace zelk
