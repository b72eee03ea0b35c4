// SourceTimedDerivation<Cells>: a timed-window indicator fed by one source
// field of one symbol, one cell per window.
//
// `Cells` names the indicator and says how a window becomes its cell:
//     using Indicator = ...;  // create(aggregation, periods, warmup),
//                             // update(t, x), observe(t), window_count()
//     static double cell(const Indicator&, size_t w);
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "zelk/duration.hpp"
#include "zelk/event.hpp"
#include "zelk/features/derivation/write_cells.hpp"
#include "zelk/features/output_sink.hpp"
#include "zelk/features/source_field.hpp"

namespace zelk {

template <typename Cells>
class SourceTimedDerivation {
  public:
    using Indicator = typename Cells::Indicator;

    // `buckets`: the window periods in buckets of `aggregation`. Errors: those
    // of Indicator::create.
    static Result<SourceTimedDerivation> create(Symbol symbol, SourceField source,
                                                std::span<const uint64_t> buckets,
                                                Duration aggregation, WarmupPolicy warmup) {
        auto indicator = Indicator::create(aggregation, buckets, warmup);
        if (!indicator) return std::unexpected(std::move(indicator.error()));
        return SourceTimedDerivation(symbol, source, std::move(*indicator));
    }

    // An event of its symbol carrying the field feeds the indicator; any other
    // event of its symbol lets time pass. Cells are rewritten after a feed and
    // after time advanced; events of other symbols change nothing.
    void update(const Event& event, size_t first, size_t count, OutputSink& sink) {
        if (event.symbol() != symbol_) return;
        if (const auto x = read_source_field(event, source_)) {
            indicator_.update(event.timestamp(), *x);
        } else if (!indicator_.observe(event.timestamp())) {
            return;
        }
        write_cells(sink, first, count, indicator_.window_count(),
                    [this](size_t w) { return Cells::cell(indicator_, w); });
    }

    Symbol symbol() const { return symbol_; }
    SourceField source() const { return source_; }

  private:
    SourceTimedDerivation(Symbol symbol, SourceField source, Indicator indicator)
        : indicator_(std::move(indicator)), symbol_(symbol), source_(source) {}

    Indicator indicator_;
    Symbol symbol_;
    SourceField source_;
};

}  // namespace zelk
