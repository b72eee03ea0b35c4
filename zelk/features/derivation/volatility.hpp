// Volatility derivation: rolling volatility of the simple returns of one
// source field of one symbol, one cell per window.
#pragma once

#include <cstdint>
#include <span>

#include "zelk/event.hpp"
#include "zelk/features/derivation/write_cells.hpp"
#include "zelk/features/output_sink.hpp"
#include "zelk/features/source_field.hpp"
#include "zelk/indicators/volatility/rolling_volatility.hpp"

namespace zelk {

class VolatilityDerivation {
public:
    // Errors: those of RollingVolatility::create.
    static Result<VolatilityDerivation> create(Symbol symbol, SourceField source,
                                               std::span<const uint64_t> windows,
                                               WarmupPolicy warmup) {
        auto volatility = RollingVolatility::create(windows, warmup);
        if (!volatility) return std::unexpected(std::move(volatility.error()));
        return VolatilityDerivation(symbol, source, std::move(*volatility));
    }

    // Feeds the field value of an event of its symbol and kind and writes every
    // cell; any other event changes nothing (time alone moves no sample window).
    void update(const Event& event, size_t first, size_t count, OutputSink& sink) {
        if (event.symbol() != symbol_) return;
        const auto x = read_source_field(event, source_);
        if (!x) return;
        volatility_.update(*x);
        write_cells(sink, first, count, volatility_.window_count(),
                    [this](size_t w) { return volatility_.value(w); });
    }

    Symbol symbol() const { return symbol_; }
    SourceField source() const { return source_; }

private:
    VolatilityDerivation(Symbol symbol, SourceField source, RollingVolatility volatility)
        : volatility_(std::move(volatility)), symbol_(symbol), source_(source) {}

    RollingVolatility volatility_;
    Symbol symbol_;
    SourceField source_;
};

}  // namespace zelk
