// VolatilityTimed derivation: timed rolling volatility of the simple returns
// of one source field of one symbol, one cell per window.
#pragma once

#include <cstdint>
#include <limits>
#include <span>

#include "zelk/duration.hpp"
#include "zelk/event.hpp"
#include "zelk/features/derivation/write_cells.hpp"
#include "zelk/features/output_sink.hpp"
#include "zelk/features/source_field.hpp"
#include "zelk/indicators/volatility/rolling_volatility_timed.hpp"

namespace zelk {

class VolatilityTimedDerivation {
public:
    // `buckets`: the window periods in buckets of `aggregation`. Errors: those
    // of RollingVolatilityTimed::create.
    static Result<VolatilityTimedDerivation> create(Symbol symbol, SourceField source,
                                                    std::span<const uint64_t> buckets,
                                                    Duration aggregation, WarmupPolicy warmup) {
        auto volatility = RollingVolatilityTimed::create(aggregation, buckets, warmup);
        if (!volatility) return std::unexpected(std::move(volatility.error()));
        return VolatilityTimedDerivation(symbol, source, std::move(*volatility));
    }

    // An event of its symbol carrying the field feeds the volatility; any
    // other event of its symbol lets time pass. Cells are rewritten after a
    // feed and after time advanced; events of other symbols change nothing.
    void update(const Event& event, size_t first, size_t count, OutputSink& sink) {
        if (event.symbol() != symbol_) return;
        if (const auto x = read_source_field(event, source_)) {
            volatility_.update(event.timestamp(), *x);
        } else if (!volatility_.observe(event.timestamp())) {
            return;
        }
        write_cells(sink, first, count, volatility_.window_count(), [this](size_t w) {
            const auto volatility = volatility_.volatility(w);
            return volatility_.ready(w) && volatility ? *volatility
                                                      : std::numeric_limits<double>::quiet_NaN();
        });
    }

    Symbol symbol() const { return symbol_; }
    SourceField source() const { return source_; }

private:
    VolatilityTimedDerivation(Symbol symbol, SourceField source,
                              RollingVolatilityTimed volatility)
        : volatility_(std::move(volatility)), symbol_(symbol), source_(source) {}

    RollingVolatilityTimed volatility_;
    Symbol symbol_;
    SourceField source_;
};

}  // namespace zelk
