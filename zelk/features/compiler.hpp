// The spec compiler: validates definitions in canonical order, groups
// compatible requests into shared runtime derivations and produces the
// Compilation the feature extractor runs.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "zelk/error.hpp"
#include "zelk/features/compilation.hpp"
#include "zelk/features/feature_id.hpp"
#include "zelk/features/group_key.hpp"

namespace zelk {

inline constexpr size_t GROUP_OUTPUT_LIMIT = 16;
inline constexpr size_t DERIVATION_LIMIT = 65535;


// Validates every definition and groups them, in the given (canonical)
// order. Fails on the first problem; nothing is built then.
Result<std::vector<FeatureGroup>> group_definitions(std::span<const FeatureDefinition> definitions);

// group_definitions, then one derivation, route and output range per
// non-context group. `output_length` must equal the number of definitions.
Result<Compilation> compile(std::span<const FeatureDefinition> definitions, size_t output_length);

}  // namespace zelk
