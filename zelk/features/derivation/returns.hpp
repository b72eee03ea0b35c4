// Returns derivation: simple or log returns of one source field of one symbol,
// one cell per lag.
#pragma once

#include <cstdint>
#include <span>

#include "zelk/event.hpp"
#include "zelk/features/derivation/write_cells.hpp"
#include "zelk/features/output_sink.hpp"
#include "zelk/features/source_field.hpp"
#include "zelk/indicators/returns.hpp"

namespace zelk {

class ReturnsDerivation {
public:
    // Errors: those of Returns::create.
    static Result<ReturnsDerivation> create(Symbol symbol, SourceField source, ReturnKind kind,
                                            std::span<const uint64_t> lags) {
        auto returns = Returns::create(kind, lags);
        if (!returns) return std::unexpected(std::move(returns.error()));
        return ReturnsDerivation(symbol, source, std::move(*returns));
    }

    // Feeds the field value of an event of its symbol and kind and writes every
    // cell; any other event changes nothing.
    void update(const Event& event, size_t first, size_t count, OutputSink& sink) {
        if (event.symbol() != symbol_) return;
        const auto x = read_source_field(event, source_);
        if (!x) return;
        returns_.update(*x);
        write_cells(sink, first, count, returns_.lag_count(),
                    [this](size_t i) { return returns_.value(i); });
    }

    Symbol symbol() const { return symbol_; }
    SourceField source() const { return source_; }

private:
    ReturnsDerivation(Symbol symbol, SourceField source, Returns returns)
        : returns_(std::move(returns)), symbol_(symbol), source_(source) {}

    Returns returns_;
    Symbol symbol_;
    SourceField source_;
};

}  // namespace zelk
