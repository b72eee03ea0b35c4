// Cvd derivation: cumulative volume delta of the classified trades of one
// symbol, one cell per window.
#pragma once

#include <cstdint>
#include <span>

#include "zelk/event.hpp"
#include "zelk/features/derivation/write_cells.hpp"
#include "zelk/features/output_sink.hpp"
#include "zelk/indicators/volume/cvd.hpp"

namespace zelk {

class CvdDerivation {
public:
    // Errors: those of CumulativeVolumeDelta::create.
    static Result<CvdDerivation> create(Symbol symbol, std::span<const uint64_t> windows,
                                        WarmupPolicy warmup) {
        auto cvd = CumulativeVolumeDelta::create(windows, warmup);
        if (!cvd) return std::unexpected(std::move(cvd.error()));
        return CvdDerivation(symbol, std::move(*cvd));
    }

    // Feeds a trade of its symbol that carries an aggressor side and writes
    // every cell. A trade without side is ignored entirely, as is every other
    // event.
    void update(const Event& event, size_t first, size_t count, OutputSink& sink) {
        const auto* trade = event.get_if<TradeEvent>();
        if (trade == nullptr || trade->symbol != symbol_ || !trade->side) return;
        cvd_.update_inner(*trade->side == AggressorSide::Sell, trade->volume);
        write_cells(sink, first, count, cvd_.window_count(),
                    [this](size_t w) { return cvd_.value(w); });
    }

    Symbol symbol() const { return symbol_; }

private:
    CvdDerivation(Symbol symbol, CumulativeVolumeDelta cvd)
        : cvd_(std::move(cvd)), symbol_(symbol) {}

    CumulativeVolumeDelta cvd_;
    Symbol symbol_;
};

}  // namespace zelk
