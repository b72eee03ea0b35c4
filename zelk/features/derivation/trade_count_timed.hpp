// TradeCountTimed derivation: the number of trades of one symbol in one timed
// window; every cell of the derivation receives the count.
#pragma once

#include <limits>

#include "zelk/duration.hpp"
#include "zelk/event.hpp"
#include "zelk/features/output_sink.hpp"
#include "zelk/indicators/counts/trade_count.hpp"

namespace zelk {

class TradeCountTimedDerivation {
public:
    // Errors: those of TradeCountTimed::create.
    static Result<TradeCountTimedDerivation> create(Symbol symbol, Duration aggregation,
                                                    Duration window, WarmupPolicy warmup) {
        auto count = TradeCountTimed::create(aggregation, window, warmup);
        if (!count) return std::unexpected(std::move(count.error()));
        return TradeCountTimedDerivation(symbol, std::move(*count));
    }

    // A trade of its symbol is counted; any other event of its symbol lets
    // time pass. Cells are rewritten after a trade and after time advanced;
    // events of other symbols change nothing.
    void update(const Event& event, size_t first, size_t count, OutputSink& sink) {
        if (event.symbol() != symbol_) return;
        if (event.kind() == EventKind::Trade) {
            count_.update(event.timestamp());
        } else if (!count_.observe(event.timestamp())) {
            return;
        }
        const double value =
            count_.ready() ? count_.count() : std::numeric_limits<double>::quiet_NaN();
        for (size_t i = 0; i < count; ++i) sink.write(first + i, value);
    }

    Symbol symbol() const { return symbol_; }

private:
    TradeCountTimedDerivation(Symbol symbol, TradeCountTimed count)
        : count_(std::move(count)), symbol_(symbol) {}

    TradeCountTimed count_;
    Symbol symbol_;
};

}  // namespace zelk
