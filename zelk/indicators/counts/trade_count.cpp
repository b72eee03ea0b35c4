#include "zelk/indicators/counts/trade_count.hpp"

namespace zelk {

Result<TradeCountTimed> TradeCountTimed::create(Duration aggregation, Duration window,
                                                WarmupPolicy warmup) {
    if (!has_whole_millis(aggregation) || !has_whole_millis(window)) {
        return std::unexpected(
            ZelkError{arg::DurationPrecision{TimedDurationField::TimedWindow}});
    }
    // Whole milliseconds in 128 bits: the range checks come last.
    const auto millis = [](Duration d) {
        return static_cast<unsigned __int128>(d.seconds) * 1000 + d.nanos / 1'000'000;
    };
    const unsigned __int128 aggregation_ms = millis(aggregation);
    const unsigned __int128 window_ms = millis(window);
    if (aggregation_ms == 0) return std::unexpected(ZelkError{arg::AggregationTooShort{}});
    if (window_ms < aggregation_ms) {
        return std::unexpected(ZelkError{arg::WindowShorterThanAggregation{}});
    }
    if (window_ms % aggregation_ms != 0) {
        return std::unexpected(ZelkError{arg::WindowNotMultipleOfAggregation{}});
    }
    if (!signed_millis(aggregation)) {
        return std::unexpected(
            ZelkError{arg::DurationOutOfRange{TimedDurationField::Aggregation}});
    }
    if (!signed_millis(window)) {
        return std::unexpected(ZelkError{arg::DurationOutOfRange{TimedDurationField::Window}});
    }
    const uint64_t period = static_cast<uint64_t>(window_ms / aggregation_ms);
    const uint64_t periods[] = {period};
    auto sum = RollingTimedSum<1>::create(IndicatorKind::TradeCountTimed, aggregation, periods,
                                          warmup);
    if (!sum) return std::unexpected(std::move(sum.error()));
    return TradeCountTimed(std::move(*sum));
}

}  // namespace zelk
