// VolatilityTimed derivation: timed rolling volatility of the simple returns
// of one source field of one symbol, one cell per window. A window that is
// not ready, or holds no return, reads NaN.
#pragma once

#include <cstddef>
#include <limits>

#include "zelk/features/derivation/source_timed.hpp"
#include "zelk/indicators/volatility/rolling_volatility_timed.hpp"

namespace zelk {

struct VolatilityTimedCells {
    using Indicator = RollingVolatilityTimed;
    static double cell(const Indicator& indicator, size_t w) {
        const auto volatility = indicator.volatility(w);
        return indicator.ready(w) && volatility ? *volatility
                                                : std::numeric_limits<double>::quiet_NaN();
    }
};

using VolatilityTimedDerivation = SourceTimedDerivation<VolatilityTimedCells>;

}  // namespace zelk
