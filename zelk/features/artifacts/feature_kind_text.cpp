#include "zelk/features/artifacts/feature_kind_text.hpp"

namespace zelk::artifact {

std::optional<KindText> parse_kind_text(std::string_view text) {
    for (int i = 0; i < FEATURE_KIND_COUNT; ++i) {
        const auto kind = static_cast<FeatureKind>(i);
        if (kind_text(kind, false) == text) return KindText{kind, false};
    }
    if (kind_text(FeatureKind::Returns, true) == text) return KindText{FeatureKind::Returns, true};
    return std::nullopt;
}

}  // namespace zelk::artifact
