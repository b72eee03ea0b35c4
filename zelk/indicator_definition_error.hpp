// InvalidIndicatorDefinitionError: why one feature definition was refused by
// the spec compiler or a reader. Reasons live in namespace zelk::def.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "zelk/argument_error.hpp"
#include "zelk/duration.hpp"

namespace zelk {

// The {field} of the definition-level duration checks.
enum class DefinitionDurationField : uint8_t { Aggregation, Window };
std::string_view display_name(DefinitionDurationField field);

namespace def {

ZELK_REASON(EmptyContextName);
ZELK_REASON(OrderBookPriceNegative);
ZELK_REASON(OrderBookSizeNotPositive);
ZELK_REASON(OrderBookPriceRangeInvalid);
ZELK_REASON(OrderBookDepthZero);
ZELK_REASON(CompatibleGroupOutputLimitExceeded, uint64_t limit;);
ZELK_REASON(DuplicateScalarDerivation);
ZELK_REASON(DuplicateFeatureKey);
ZELK_REASON(DuplicateFeatureId);
ZELK_REASON(ScalarEventFieldSourceRequired);
ZELK_REASON(TradeEventSourceRequired);
ZELK_REASON(WindowTooShort);
ZELK_REASON(WindowTooLarge);
ZELK_REASON(AggregationTooShort);
ZELK_REASON(WindowShorterThanAggregation, int64_t aggregation_millis; int64_t window_millis;);
ZELK_REASON(WindowNotMultipleOfAggregation, int64_t aggregation_millis; int64_t window_millis;);
ZELK_REASON(BucketPeriodOutOfRange);
ZELK_REASON(DurationPrecision, DefinitionDurationField field; Duration duration;);
ZELK_REASON(DurationOutOfRange, DefinitionDurationField field; Duration duration;);
ZELK_REASON(UtcOffsetOutOfRange, int64_t offset_millis;);
ZELK_REASON(UtcOffsetPrecision, int64_t offset_millis;);
ZELK_REASON(InvalidArgument, InvalidArgumentError error;);
ZELK_REASON(ConstructionFailed);

}  // namespace def

struct InvalidIndicatorDefinitionError {
    using Reason = std::variant<
        def::EmptyContextName, def::OrderBookPriceNegative, def::OrderBookSizeNotPositive,
        def::OrderBookPriceRangeInvalid, def::OrderBookDepthZero,
        def::CompatibleGroupOutputLimitExceeded, def::DuplicateScalarDerivation,
        def::DuplicateFeatureKey, def::DuplicateFeatureId, def::ScalarEventFieldSourceRequired,
        def::TradeEventSourceRequired, def::WindowTooShort, def::WindowTooLarge,
        def::AggregationTooShort, def::WindowShorterThanAggregation,
        def::WindowNotMultipleOfAggregation, def::BucketPeriodOutOfRange, def::DurationPrecision,
        def::DurationOutOfRange, def::UtcOffsetOutOfRange, def::UtcOffsetPrecision,
        def::InvalidArgument, def::ConstructionFailed>;
    Reason reason;

    template <typename R>
        requires std::is_constructible_v<Reason, R>
    InvalidIndicatorDefinitionError(R r) : reason(std::move(r)) {}  // NOLINT: implicit by design

    friend bool operator==(const InvalidIndicatorDefinitionError&,
                           const InvalidIndicatorDefinitionError&) = default;
};

// The reason text, e.g. "window must be at least 1".
std::string to_string(const InvalidIndicatorDefinitionError& error);

}  // namespace zelk
