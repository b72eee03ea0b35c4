// Reading the kind texts of the artifact: the words that open a default
// feature ID (kind_text in feature_id.hpp), with Returns split into
// "simple_return" and "log_return" by its flag.
#pragma once

#include <optional>
#include <string_view>

#include "zelk/features/feature_id.hpp"
#include "zelk/features/feature_key.hpp"

namespace zelk::artifact {

struct KindText {
    FeatureKind kind;
    bool log;  // Returns only: log_return rather than simple_return
};

// The kind a text names, or nullopt; matched exactly.
std::optional<KindText> parse_kind_text(std::string_view text);

}  // namespace zelk::artifact
