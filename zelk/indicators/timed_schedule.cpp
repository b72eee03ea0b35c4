#include "zelk/indicators/timed_schedule.hpp"

#include <algorithm>
#include <limits>

namespace zelk {

namespace {

constexpr uint32_t NANOS_PER_MILLI = 1'000'000;

Status fail(InvalidArgumentError reason) {
    return std::unexpected(ZelkError{std::move(reason)});
}

}  // namespace

bool has_whole_millis(Duration duration) { return duration.nanos % NANOS_PER_MILLI == 0; }

std::optional<int64_t> signed_millis(Duration duration) {
    // 128-bit so that seconds * 1000 cannot wrap before the range check.
    const unsigned __int128 millis =
        static_cast<unsigned __int128>(duration.seconds) * 1000 + duration.nanos / NANOS_PER_MILLI;
    if (millis > static_cast<unsigned __int128>(std::numeric_limits<int64_t>::max())) {
        return std::nullopt;
    }
    return static_cast<int64_t>(millis);
}

Result<TimedSchedule> TimedSchedule::create(IndicatorKind kind, Duration aggregation,
                                            uint64_t largest_period, WarmupPolicy warmup) {
    if (largest_period == std::numeric_limits<uint64_t>::max()) {
        return std::unexpected(ZelkError{arg::TimedPeriodTooLarge{kind}});
    }
    const uint64_t capacity = largest_period + 1;
    if (aggregation == Duration{}) return std::unexpected(ZelkError{arg::AggregationTooShort{}});
    if (!has_whole_millis(aggregation)) {
        return std::unexpected(
            ZelkError{arg::DurationPrecision{TimedDurationField::Aggregation}});
    }
    const auto aggregation_ms = signed_millis(aggregation);
    if (!aggregation_ms) {
        return std::unexpected(
            ZelkError{arg::DurationOutOfRange{TimedDurationField::Aggregation}});
    }
    return TimedSchedule(*aggregation_ms, capacity, warmup);
}

Status TimedSchedule::check_window(uint64_t period) const {
    if (windows_.full()) return fail(arg::WindowLimitReached{MAX_WINDOWS});
    if (period == 0) return fail(arg::WindowPeriodZero{});
    if (period >= capacity_) {
        return fail(arg::WindowPeriodMustBeLessThanCapacity{period, capacity_});
    }
    if (has_data()) return fail(arg::WindowAddedAfterData{});
    if (period > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
        return fail(arg::WindowPeriodOutOfRange{PeriodWidth::Signed64});
    }
    int64_t window_ms = 0;
    if (__builtin_mul_overflow(static_cast<int64_t>(period), aggregation_ms_, &window_ms)) {
        return fail(arg::WindowDurationOutOfRange{});
    }
    return {};
}

Status TimedSchedule::add_window(uint64_t period) {
    if (auto ok = check_window(period); !ok) return ok;
    windows_.push_back(
        TimedWindow{period, static_cast<int64_t>(period) * aggregation_ms_, /*ready=*/false});
    return {};
}

int64_t TimedSchedule::locate_slow(Timestamp t) {
    const int64_t bucket = bucket_of(t);
    // The bucket's first millisecond and the next bucket's, clamped to the
    // timestamp range (they may lie outside it at the extremes).
    const __int128 start = static_cast<__int128>(bucket) * aggregation_ms_;
    const __int128 lowest = std::numeric_limits<int64_t>::min();
    const __int128 highest = std::numeric_limits<int64_t>::max();
    cached_bucket_ = bucket;
    cached_from_ = static_cast<Timestamp>(std::max(start, lowest));
    cached_until_ = static_cast<Timestamp>(std::min(start + aggregation_ms_, highest));
    return bucket;
}

void TimedSchedule::mark_ready_windows(Timestamp t) {
    if (!first_timestamp_) return;
    const Timestamp first = *first_timestamp_;
    for (TimedWindow& w : windows_) {
        if (w.ready) continue;
        if (warmup_ == WarmupPolicy::FirstValue) {
            w.ready = true;
        } else {
            // t - first without overflow; an earlier t never counts as elapsed.
            w.ready = t >= first && static_cast<uint64_t>(t) - static_cast<uint64_t>(first) >=
                                        static_cast<uint64_t>(w.window_ms);
        }
        if (w.ready) ++ready_windows_;
    }
}

}  // namespace zelk
