// TradeVolumeTimed derivation: traded volume of one symbol over timed
// windows, one cell per window.
#pragma once

#include <cstdint>
#include <limits>
#include <span>

#include "zelk/duration.hpp"
#include "zelk/event.hpp"
#include "zelk/features/derivation/write_cells.hpp"
#include "zelk/features/output_sink.hpp"
#include "zelk/indicators/timed_sum.hpp"

namespace zelk {

class TradeVolumeTimedDerivation {
public:
    // `buckets`: the window periods in buckets of `aggregation`. Errors: those
    // of RollingTimedSum::create (kind TradeVolumeTimed).
    static Result<TradeVolumeTimedDerivation> create(Symbol symbol,
                                                     std::span<const uint64_t> buckets,
                                                     Duration aggregation, WarmupPolicy warmup) {
        auto sum = RollingTimedSum<1>::create(IndicatorKind::TradeVolumeTimed, aggregation,
                                              buckets, warmup);
        if (!sum) return std::unexpected(std::move(sum.error()));
        return TradeVolumeTimedDerivation(symbol, std::move(*sum));
    }

    // A trade of its symbol adds its volume; any other event of its symbol
    // lets time pass. Cells are rewritten after a feed and after time
    // advanced; events of other symbols change nothing. A ready window that
    // saw no trade reports 0.0.
    void update(const Event& event, size_t first, size_t count, OutputSink& sink) {
        if (event.symbol() != symbol_) return;
        if (const auto* trade = event.get_if<TradeEvent>()) {
            sum_.update(trade->timestamp, {trade->volume});
        } else if (!sum_.observe(event.timestamp())) {
            return;
        }
        write_cells(sink, first, count, sum_.window_count(), [this](size_t w) {
            return sum_.ready(w) ? sum_.sums(w)[0] : std::numeric_limits<double>::quiet_NaN();
        });
    }

    Symbol symbol() const { return symbol_; }

private:
    TradeVolumeTimedDerivation(Symbol symbol, RollingTimedSum<1> sum)
        : sum_(std::move(sum)), symbol_(symbol) {}

    RollingTimedSum<1> sum_;
    Symbol symbol_;
};

}  // namespace zelk
