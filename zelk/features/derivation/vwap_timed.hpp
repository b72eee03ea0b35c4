// VwapTimed derivation: volume-weighted average trade price of one symbol
// over timed windows, one cell per window. Each trade adds (price * volume,
// volume); a window whose volume sum is 0.0 has no VWAP (NaN).
#pragma once

#include <array>
#include <cstddef>
#include <limits>

#include "zelk/event.hpp"
#include "zelk/features/derivation/trade_sum_timed.hpp"
#include "zelk/indicator_kind.hpp"

namespace zelk {

struct VwapTimedCells {
    static constexpr size_t N = 2;
    static constexpr IndicatorKind KIND = IndicatorKind::VwapTimed;
    static std::array<double, 2> values(const TradeEvent& trade) {
        return {trade.price * trade.volume, trade.volume};
    }
    static double cell(const std::array<double, 2>& sums) {
        return sums[1] != 0.0 ? sums[0] / sums[1] : std::numeric_limits<double>::quiet_NaN();
    }
};

using VwapTimedDerivation = TradeSumTimedDerivation<VwapTimedCells>;

}  // namespace zelk
