// SmaTimed derivation: timed moving average of one source field of one
// symbol, one cell per window.
#pragma once

#include <cstdint>
#include <limits>
#include <span>

#include "zelk/duration.hpp"
#include "zelk/event.hpp"
#include "zelk/features/derivation/write_cells.hpp"
#include "zelk/features/output_sink.hpp"
#include "zelk/features/source_field.hpp"
#include "zelk/indicators/averages/sma.hpp"

namespace zelk {

class SmaTimedDerivation {
public:
    // `buckets`: the window periods in buckets of `aggregation`. Errors: those
    // of SimpleMovingAverageTimed::create.
    static Result<SmaTimedDerivation> create(Symbol symbol, SourceField source,
                                             std::span<const uint64_t> buckets,
                                             Duration aggregation, WarmupPolicy warmup) {
        auto sma = SimpleMovingAverageTimed::create(aggregation, buckets, warmup);
        if (!sma) return std::unexpected(std::move(sma.error()));
        return SmaTimedDerivation(symbol, source, std::move(*sma));
    }

    // An event of its symbol carrying the field feeds the average; any other
    // event of its symbol lets time pass. Cells are rewritten after a feed and
    // after time advanced; events of other symbols change nothing.
    void update(const Event& event, size_t first, size_t count, OutputSink& sink) {
        if (event.symbol() != symbol_) return;
        if (const auto x = read_source_field(event, source_)) {
            sma_.update(event.timestamp(), *x);
        } else if (!sma_.observe(event.timestamp())) {
            return;
        }
        // A ready window without buckets has no average.
        write_cells(sink, first, count, sma_.window_count(), [this](size_t w) {
            return sma_.ready(w) && sma_.bucket_count(w) > 0
                       ? sma_.average(w)
                       : std::numeric_limits<double>::quiet_NaN();
        });
    }

    Symbol symbol() const { return symbol_; }
    SourceField source() const { return source_; }

private:
    SmaTimedDerivation(Symbol symbol, SourceField source, SimpleMovingAverageTimed sma)
        : sma_(std::move(sma)), symbol_(symbol), source_(source) {}

    SimpleMovingAverageTimed sma_;
    Symbol symbol_;
    SourceField source_;
};

}  // namespace zelk
