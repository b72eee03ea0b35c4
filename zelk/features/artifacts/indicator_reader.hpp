// Reading one indicator entry of the feature-extractor artifact into feature
// definitions, with every check of the artifact's kind table: source and
// scope, warm-up policy, options and outputs, then the compiler's key
// validation. Messages carry the position of the offending value.
#pragma once

#include <set>
#include <utility>
#include <vector>

#include "zelk/features/artifacts/artifact_error.hpp"
#include "zelk/features/artifacts/feature_extractor_document.hpp"
#include "zelk/features/feature_id.hpp"

namespace zelk::artifact {

using RequiredEvent = std::pair<Symbol, EventKind>;
using RequiredEventSet = std::set<RequiredEvent>;

// A definition read from the document and the output entry it came from.
struct ReadDefinition {
    FeatureDefinition definition;
    Position position;
};

// Adds the events an indicator of `symbol` with this source consumes: an
// any_event source the global time event, an order_book source both book
// events of the symbol, a source naming a known event that event of the
// symbol, a context source nothing. Sources that fail to read add what they
// name; the read of the indicator then fails anyway.
void add_required_events(const SourceDocument& source, Symbol symbol, RequiredEventSet& events);

// The definitions of one indicator of the group of `symbol`, one per output
// in output order; an absent output list reads as one output without
// fields. IDs come from the outputs' `id` or else are the default IDs.
ArtifactResult<std::vector<ReadDefinition>> read_indicator(const IndicatorDocument& indicator,
                                                           Symbol symbol);

}  // namespace zelk::artifact
