// Vpt derivation: volume-price trend of the trades of one symbol, one cell.
#pragma once

#include "zelk/event.hpp"
#include "zelk/features/output_sink.hpp"
#include "zelk/indicators/volume/vpt.hpp"

namespace zelk {

class VptDerivation {
public:
    explicit VptDerivation(Symbol symbol) : symbol_(symbol) {}

    // Feeds a trade of its symbol and writes the running value; any other
    // event changes nothing.
    void update(const Event& event, size_t first, size_t /*count*/, OutputSink& sink) {
        const auto* trade = event.get_if<TradeEvent>();
        if (trade == nullptr || trade->symbol != symbol_) return;
        vpt_.update(trade->price, trade->volume);
        sink.write(first, vpt_.value());
    }

    Symbol symbol() const { return symbol_; }

private:
    VolumePriceTrend vpt_;
    Symbol symbol_;
};

}  // namespace zelk
