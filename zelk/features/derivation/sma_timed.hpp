// SmaTimed derivation: timed moving average of one source field of one
// symbol, one cell per window. A window that is not ready, or ready without
// buckets, has no average (NaN).
#pragma once

#include <cstddef>
#include <limits>

#include "zelk/features/derivation/source_timed.hpp"
#include "zelk/indicators/averages/sma.hpp"

namespace zelk {

struct SmaTimedCells {
    using Indicator = SimpleMovingAverageTimed;
    static double cell(const Indicator& sma, size_t w) {
        return sma.ready(w) && sma.bucket_count(w) > 0 ? sma.average(w)
                                                       : std::numeric_limits<double>::quiet_NaN();
    }
};

using SmaTimedDerivation = SourceTimedDerivation<SmaTimedCells>;

}  // namespace zelk
