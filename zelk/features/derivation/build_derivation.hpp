// Builds the runtime derivation of one compiled feature group.
#pragma once

#include "zelk/error.hpp"
#include "zelk/features/derivation/feature_derivation.hpp"
#include "zelk/features/group_key.hpp"

namespace zelk {

// The derivation for a non-context group, its members passed in member
// order. Fails with the indicator's own construction error.
Result<FeatureDerivation> build_derivation(const FeatureGroup& group);

}  // namespace zelk
