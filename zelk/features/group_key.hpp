// Grouping of compatible feature requests.
//
// A GroupKey is the part of a FeatureKey under which definitions share one
// runtime derivation: the key with its member parameter (sample window, lag,
// bucket count, imbalance depth) cleared. group_key also validates the key,
// so the JSON reader and writer use it to check definitions without
// building anything.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "zelk/error.hpp"
#include "zelk/features/event_router.hpp"
#include "zelk/features/feature_id.hpp"

namespace zelk {

// A FeatureKey whose member parameter is cleared.
struct GroupKey {
    FeatureKey key;
    friend bool operator==(const GroupKey&, const GroupKey&) = default;
};
struct GroupKeyHash {
    size_t operator()(const GroupKey& g) const { return FeatureKeyHash{}(g.key); }
};

// How the outputs of one group differ from each other.
enum class GroupMembers : uint8_t {
    Scalar,   // exactly one output
    Depths,   // imbalance depths
    Windows,  // sample windows, or return lags
    Buckets,  // timed windows as bucket counts
};

GroupMembers group_members_of(FeatureKind kind);

struct GroupedKey {
    GroupKey group;
    std::optional<uint64_t> member;  // nullopt for scalar kinds
};

// One group of compatible definitions: one derivation, contiguous outputs.
struct FeatureGroup {
    GroupMembers members = GroupMembers::Scalar;
    std::vector<uint64_t> member_values;  // parallel to ids unless Scalar
    std::vector<FeatureId> ids;
    GroupKey key;
    size_t definition_index = 0;  // index of the group's first definition
};

// Validates `key` and splits it into group key and member. `index` is only
// used in the error: InvalidIndicatorDefinition{index, indicator, reason}.
Result<GroupedKey> group_key(size_t index, const FeatureKey& key);

// group_key at index 0, result discarded.
Status validate_key(const FeatureKey& key);

// Whole-millisecond aggregation and window, window a multiple of the
// aggregation; returns the bucket count window / aggregation.
Result<uint64_t> validate_timed_window(size_t index, IndicatorKind kind, Duration aggregation,
                                       Duration window);

// Aggregation in whole milliseconds. REQUIRES: validated by validate_timed_window.
int64_t aggregation_millis(const GroupKey& group);

// The event route of a (non-context) group.
RouteKind route_of(const GroupKey& group);

}  // namespace zelk
