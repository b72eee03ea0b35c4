// Stable feature IDs: the deterministic text that names a raw output cell in
// feature-name lists, artifacts, messages and context lookups.
//
// Grammar: "{kind}:symbol={len}:{name}:source={source}{suffix}", where {len}
// is the byte length of the stored symbol name, so names containing ":" stay
// unambiguous. The text is a contract: do not change it.
#pragma once

#include <string>
#include <string_view>

#include "zelk/features/feature_key.hpp"

namespace zelk {

using FeatureId = std::string;

// IDs beginning with this prefix belong to trailing reserved cells.
inline constexpr std::string_view RESERVED_FEATURE_ID_PREFIX = "__reserved_";

// The default ID of a key. Validates nothing; reads the symbol table.
FeatureId feature_id_from_key(const FeatureKey& key);

// True when `id` starts with "__reserved_" (the prefix alone included).
constexpr bool is_reserved_feature_id(std::string_view id) {
    return id.starts_with(RESERVED_FEATURE_ID_PREFIX);
}

// One output of a spec: its ID and what it computes.
struct FeatureDefinition {
    FeatureId id;
    FeatureKey key;

    // The definition whose ID is the key's default ID.
    static FeatureDefinition with_default_id(FeatureKey key);

    friend bool operator==(const FeatureDefinition&, const FeatureDefinition&) = default;
};

}  // namespace zelk
