// TradeSumTimedDerivation<Cells>: running sums of what the trades of one
// symbol carry, over timed windows, one cell per window.
//
// `Cells` says what a trade adds and how a window's sums become its cell:
//     static constexpr size_t N;              // sums kept side by side
//     static constexpr IndicatorKind KIND;    // named in creation errors
//     static std::array<double, N> values(const TradeEvent&);
//     static double cell(const std::array<double, N>& sums);  // ready windows
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

template <typename Cells>
class TradeSumTimedDerivation {
  public:
    // `buckets`: the window periods in buckets of `aggregation`. Errors: those
    // of RollingTimedSum::create (kind Cells::KIND).
    static Result<TradeSumTimedDerivation> create(Symbol symbol, std::span<const uint64_t> buckets,
                                                  Duration aggregation, WarmupPolicy warmup) {
        auto sums = RollingTimedSum<Cells::N>::create(Cells::KIND, aggregation, buckets, warmup);
        if (!sums) return std::unexpected(std::move(sums.error()));
        return TradeSumTimedDerivation(symbol, std::move(*sums));
    }

    // A trade of its symbol adds Cells::values(trade); any other event of its
    // symbol lets time pass. Cells are rewritten after a feed and after time
    // advanced; events of other symbols change nothing. A window that is not
    // ready reports NaN.
    void update(const Event& event, size_t first, size_t count, OutputSink& sink) {
        if (event.symbol() != symbol_) return;
        if (const auto* trade = event.get_if<TradeEvent>()) {
            sums_.update(trade->timestamp, Cells::values(*trade));
        } else if (!sums_.observe(event.timestamp())) {
            return;
        }
        write_cells(sink, first, count, sums_.window_count(), [this](size_t w) {
            return sums_.ready(w) ? Cells::cell(sums_.sums(w))
                                  : std::numeric_limits<double>::quiet_NaN();
        });
    }

    Symbol symbol() const { return symbol_; }

  private:
    TradeSumTimedDerivation(Symbol symbol, RollingTimedSum<Cells::N> sums)
        : sums_(std::move(sums)), symbol_(symbol) {}

    RollingTimedSum<Cells::N> sums_;
    Symbol symbol_;
};

}  // namespace zelk
