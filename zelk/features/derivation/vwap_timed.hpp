// VwapTimed derivation: volume-weighted average trade price of one symbol
// over timed windows, one cell per window.
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

class VwapTimedDerivation {
public:
    // `buckets`: the window periods in buckets of `aggregation`. Errors: those
    // of RollingTimedSum::create (kind VwapTimed).
    static Result<VwapTimedDerivation> create(Symbol symbol, std::span<const uint64_t> buckets,
                                              Duration aggregation, WarmupPolicy warmup) {
        auto sums =
            RollingTimedSum<2>::create(IndicatorKind::VwapTimed, aggregation, buckets, warmup);
        if (!sums) return std::unexpected(std::move(sums.error()));
        return VwapTimedDerivation(symbol, std::move(*sums));
    }

    // A trade of its symbol adds (price * volume, volume); any other event of
    // its symbol lets time pass. Cells are rewritten after a feed and after
    // time advanced; events of other symbols change nothing. A window whose
    // volume sum is 0.0 has no VWAP (NaN).
    void update(const Event& event, size_t first, size_t count, OutputSink& sink) {
        if (event.symbol() != symbol_) return;
        if (const auto* trade = event.get_if<TradeEvent>()) {
            sums_.update(trade->timestamp, {trade->price * trade->volume, trade->volume});
        } else if (!sums_.observe(event.timestamp())) {
            return;
        }
        write_cells(sink, first, count, sums_.window_count(), [this](size_t w) {
            const auto& s = sums_.sums(w);
            return sums_.ready(w) && s[1] != 0.0 ? s[0] / s[1]
                                                 : std::numeric_limits<double>::quiet_NaN();
        });
    }

    Symbol symbol() const { return symbol_; }

private:
    VwapTimedDerivation(Symbol symbol, RollingTimedSum<2> sums)
        : sums_(std::move(sums)), symbol_(symbol) {}

    RollingTimedSum<2> sums_;
    Symbol symbol_;
};

}  // namespace zelk
