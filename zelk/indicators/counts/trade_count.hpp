// TradeCountTimed: the number of trades in one timed window.
//
// A RollingTimedSum with a single sum and a single window, fed 1.0 per trade.
// Unlike the other timed indicators it is configured by two durations (the
// aggregation and the window) rather than by a period in buckets.
#pragma once

#include "zelk/duration.hpp"
#include "zelk/error.hpp"
#include "zelk/indicators/timed_sum.hpp"

namespace zelk {

class TradeCountTimed {
public:
    // Checks, in order: either duration not whole milliseconds
    // (DurationPrecision, timed window durations); an aggregation of 0 ms
    // (AggregationTooShort); a window shorter than the aggregation
    // (WindowShorterThanAggregation) or not a multiple of it
    // (WindowNotMultipleOfAggregation); the aggregation, then the window,
    // beyond signed 64-bit milliseconds (DurationOutOfRange). The window
    // period is window / aggregation buckets.
    static Result<TradeCountTimed> create(Duration aggregation, Duration window,
                                          WarmupPolicy warmup);

    bool observe(Timestamp t) { return sum_.observe(t); }
    // Counts one trade at `t`.
    void update(Timestamp t) { sum_.update(t, {1.0}); }

    bool ready() const { return sum_.ready(0); }
    // The number of trades in the window, ready or not.
    double count() const { return sum_.sums(0)[0]; }
    uint64_t period() const { return sum_.schedule().window(0).period; }

private:
    explicit TradeCountTimed(RollingTimedSum<1> sum) : sum_(std::move(sum)) {}

    RollingTimedSum<1> sum_;
};

}  // namespace zelk
