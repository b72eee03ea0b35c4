// TradeVolumeTimed derivation: traded volume of one symbol over timed
// windows, one cell per window. A ready window that saw no trade reports 0.0.
#pragma once

#include <array>
#include <cstddef>

#include "zelk/event.hpp"
#include "zelk/features/derivation/trade_sum_timed.hpp"
#include "zelk/indicator_kind.hpp"

namespace zelk {

struct TradeVolumeTimedCells {
    static constexpr size_t N = 1;
    static constexpr IndicatorKind KIND = IndicatorKind::TradeVolumeTimed;
    static std::array<double, 1> values(const TradeEvent& trade) { return {trade.volume}; }
    static double cell(const std::array<double, 1>& sums) { return sums[0]; }
};

using TradeVolumeTimedDerivation = TradeSumTimedDerivation<TradeVolumeTimedCells>;

}  // namespace zelk
