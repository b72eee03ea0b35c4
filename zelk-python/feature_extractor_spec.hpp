// The Python FeatureExtractorSpec builder: owns one validated core spec and
// replaces it with a new one on every successful builder call.
#pragma once

#include <vector>

#include <nanobind/nanobind.h>

#include "zelk/features/spec.hpp"

namespace zelk::python {

// The Python WarmupPolicy: a small value class around the core policy.
struct WarmupPolicyArgument {
    WarmupPolicy value = WarmupPolicy::FullWindow;
};

class SpecBuilder {
public:
    SpecBuilder(FeatureExtractorSpec spec, bool capacity_explicit)
        : spec_(std::move(spec)), capacity_explicit_(capacity_explicit) {}

    const FeatureExtractorSpec& spec() const { return spec_; }
    bool capacity_explicit() const { return capacity_explicit_; }

    // Rebuilds the spec from the current definitions plus `added` (in that
    // order) and the current order books. While the capacity was never given
    // it follows the number of definitions. Raises ValueError and keeps the
    // current spec on failure.
    void add_definitions(std::vector<FeatureDefinition> added);
    // Re-validates the order-book list with `entry` appended.
    void add_order_book(OrderBookEntry entry);

private:
    FeatureExtractorSpec spec_;
    bool capacity_explicit_;
};


}  // namespace zelk::python
