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

// The word that opens a key's default ID and names its kind in artifacts
// ("sma_timed", "order_book_mid_price", ...). `log` matters for Returns only,
// which reads "log_return" when set and "simple_return" otherwise.
std::string_view kind_text(FeatureKind kind, bool log);
inline std::string_view kind_text(const FeatureKey& key) {
    return kind_text(key.kind, key.log);
}

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
