// ObvTimed derivation: timed on-balance volume of the trades of one symbol,
// one cell per window.
#pragma once

#include <cstdint>
#include <limits>
#include <span>

#include "zelk/duration.hpp"
#include "zelk/event.hpp"
#include "zelk/features/derivation/write_cells.hpp"
#include "zelk/features/output_sink.hpp"
#include "zelk/indicators/volume/obv.hpp"

namespace zelk {

class ObvTimedDerivation {
public:
    // `buckets`: the window periods in buckets of `aggregation`. Errors: those
    // of OnBalanceVolumeTimed::create.
    static Result<ObvTimedDerivation> create(Symbol symbol, std::span<const uint64_t> buckets,
                                             Duration aggregation, WarmupPolicy warmup) {
        auto obv = OnBalanceVolumeTimed::create(aggregation, buckets, warmup);
        if (!obv) return std::unexpected(std::move(obv.error()));
        return ObvTimedDerivation(symbol, std::move(*obv));
    }

    // A trade of its symbol feeds the indicator; any other event of its symbol
    // lets time pass. Cells are rewritten after a feed and after time
    // advanced; events of other symbols change nothing.
    void update(const Event& event, size_t first, size_t count, OutputSink& sink) {
        if (event.symbol() != symbol_) return;
        if (const auto* trade = event.get_if<TradeEvent>()) {
            obv_.update(trade->timestamp, trade->price, trade->volume);
        } else if (!obv_.observe(event.timestamp())) {
            return;
        }
        write_cells(sink, first, count, obv_.window_count(), [this](size_t w) {
            return obv_.ready(w) ? obv_.signed_volume(w) : std::numeric_limits<double>::quiet_NaN();
        });
    }

    Symbol symbol() const { return symbol_; }

private:
    ObvTimedDerivation(Symbol symbol, OnBalanceVolumeTimed obv)
        : obv_(std::move(obv)), symbol_(symbol) {}

    OnBalanceVolumeTimed obv_;
    Symbol symbol_;
};

}  // namespace zelk
