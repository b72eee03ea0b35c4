// The kind texts of the artifact: the same words that open a default
// feature ID ("sma_timed", "order_book_mid_price", ...), with Returns split
// into "simple_return" and "log_return" by its flag.
#pragma once

#include <optional>
#include <string_view>

#include "zelk/features/feature_key.hpp"

namespace zelk::artifact {

struct KindText {
    FeatureKind kind;
    bool log;  // Returns only: log_return rather than simple_return
};

std::string_view kind_text(FeatureKind kind, bool log);
inline std::string_view kind_text(const FeatureKey& key) {
    return kind_text(key.kind, key.log);
}

// The kind a text names, or nullopt; matched exactly.
std::optional<KindText> parse_kind_text(std::string_view text);

}  // namespace zelk::artifact
