// Compilation: the plan the spec compiler hands to the feature extractor.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zelk/features/derivation/feature_derivation.hpp"
#include "zelk/features/event_router.hpp"

namespace zelk {

// The contiguous cells one derivation writes.
struct OutputRange {
    size_t first = 0;
    size_t count = 0;
    friend bool operator==(const OutputRange&, const OutputRange&) = default;
};

// Invariants the compiler guarantees (the extractor relies on them):
// - one output range per derivation, inside the active cells, not overlapping;
// - one feature ID and one context flag per active cell; context cells
//   belong to no derivation;
// - the router was built from one route per derivation, in derivation order.
struct Compilation {
    std::vector<FeatureDerivation> derivations;
    std::vector<OutputRange> output_ranges;
    std::vector<std::string> feature_ids;
    std::vector<bool> context_flags;
    EventRouter router;
};

}  // namespace zelk
