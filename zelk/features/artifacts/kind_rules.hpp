// Per-kind rules of the feature-extractor artifact that the reader checks
// and the writer follows: which kinds carry a warm-up policy, which book
// query parameters a kind takes, how its outputs differ, and how scalar
// fields are spelled as (event, field) pairs.
#pragma once

#include <optional>
#include <string_view>

#include "zelk/features/feature_key.hpp"

namespace zelk::artifact {

constexpr bool requires_warmup(FeatureKind kind) {
    return kind == FeatureKind::Cvd || kind == FeatureKind::Volatility || is_timed_kind(kind);
}

// The query parameters a book kind takes (none for the other kinds).
struct QueryParameters {
    bool side = false;
    bool price = false;
    bool size = false;
    bool range = false;  // from_price and to_price
    bool n_levels = false;
    constexpr bool any() const { return side || price || size || range || n_levels; }
};

constexpr QueryParameters query_parameters(FeatureKind kind) {
    switch (kind) {
        case FeatureKind::OrderBookLevelSize:
        case FeatureKind::OrderBookDepthUntilPrice:
            return {.side = true, .price = true};
        case FeatureKind::OrderBookNthPrice:
        case FeatureKind::OrderBookNthSize:
            return {.side = true, .n_levels = true};
        case FeatureKind::OrderBookDepthUntilSizePriceFrom:
        case FeatureKind::OrderBookDepthUntilSizePriceTo:
        case FeatureKind::OrderBookDepthUntilSizeTotalSize:
            return {.side = true, .size = true};
        case FeatureKind::OrderBookVolumeBetweenPrices:
            return {.side = true, .range = true};
        default:
            return {};
    }
}

// What each output entry of an indicator carries.
enum class OutputShape : uint8_t {
    Scalar,            // exactly one output, no fields
    SampleWindow,      // integer `window` per output (Cvd, Volatility)
    Lag,               // integer `lag` per output (Returns)
    TimeWindow,        // duration `window` per output (timed kinds)
    SingleTimeWindow,  // exactly one output with a duration `window` (TradeCountTimed)
    Depth,             // positive `n_levels` per output, at most 16 (imbalance)
};

constexpr OutputShape output_shape(FeatureKind kind) {
    switch (kind) {
        case FeatureKind::Cvd:
        case FeatureKind::Volatility:
            return OutputShape::SampleWindow;
        case FeatureKind::Returns:
            return OutputShape::Lag;
        case FeatureKind::TradeCountTimed:
            return OutputShape::SingleTimeWindow;
        case FeatureKind::OrderBookImbalance:
            return OutputShape::Depth;
        default:
            return is_timed_kind(kind) ? OutputShape::TimeWindow : OutputShape::Scalar;
    }
}

// The `field` text of a scalar field's (event, field) pair: price ("price",
// "value"), volume ("volume", "value"), trade_price ("trade", "price"),
// trade_volume ("trade", "volume"). The event is event_kind_of(field).
constexpr std::string_view field_member_text(ScalarField field) {
    switch (field) {
        case ScalarField::Price:
        case ScalarField::Volume:
            return "value";
        case ScalarField::TradePrice:
            return "price";
        case ScalarField::TradeVolume:
            return "volume";
    }
    return "";
}

constexpr std::optional<ScalarField> field_of_pair(EventKind event, std::string_view field) {
    for (ScalarField f : {ScalarField::Price, ScalarField::Volume, ScalarField::TradePrice,
                          ScalarField::TradeVolume}) {
        if (event_kind_of(f) == event && field_member_text(f) == field) return f;
    }
    return std::nullopt;
}

}  // namespace zelk::artifact
