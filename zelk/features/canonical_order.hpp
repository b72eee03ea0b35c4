// The canonical order of feature definitions.
//
// Every spec sorts its definitions by a nine-part key computed from the
// feature key alone, so equivalent specs authored in different orders get the
// same layout, IDs and artifact, and definitions that share a runtime
// derivation end up adjacent. The sort is stable: outputs that differ only in
// a member parameter (a window, a lag, an imbalance depth) keep the order in
// which they were requested.
#pragma once

#include <compare>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "zelk/features/feature_id.hpp"

namespace zelk {

struct CanonicalKey {
    bool named = false;         // false only for the global symbol
    std::string symbol_name;    // compared bytewise
    uint8_t kind_rank = 0;
    uint8_t source_rank = 0;
    uint8_t variant = 0;        // the warm-up policy where a kind has one
    u128 first_duration = 0;    // aggregation in ns (timed kinds)
    u128 second_duration = 0;   // window in ns (TradeCountTimed only)
    int64_t parameter = 0;      // UTC offset (TimeSinceFirstEventOfDay)
    std::string id_text;        // default ID for kind ranks 18 to 26, else empty

    friend std::strong_ordering operator<=>(const CanonicalKey&, const CanonicalKey&) = default;
    friend bool operator==(const CanonicalKey&, const CanonicalKey&) = default;
};

CanonicalKey canonical_key(const FeatureKey& key);

// Stable sort of `definitions` by canonical key.
void sort_canonically(std::vector<FeatureDefinition>& definitions);

// Number of positions where the canonical key differs from the previous one.
size_t count_distinct_canonical_keys(std::span<const FeatureDefinition> definitions);

}  // namespace zelk
