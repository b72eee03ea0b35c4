// InvalidArgumentError: why an argument to a core operation was refused.
// Each reason is a small struct in namespace zelk::arg; the error holds one of
// them and renders the reason text without any prefix.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "zelk/indicator_kind.hpp"

namespace zelk {

// The {target} of a LimitExceeded reason.
enum class LimitTarget : uint8_t {
    Symbols,
    RuntimeFeatures,
    SymbolRouters,
    Subscribers,
    SubscriberGroup,
    OrderBooks,
};
// The {field} of the event finiteness check.
enum class EventValueField : uint8_t { Price, Volume, TradePrice, TradeVolume };
// The {field} of the argument-level duration checks.
enum class TimedDurationField : uint8_t { Aggregation, Window, TimedWindow };
// The {width} of WindowPeriodOutOfRange.
enum class PeriodWidth : uint8_t { Signed64, Usize };

std::string_view display_name(LimitTarget target);
std::string_view display_name(EventValueField field);
std::string_view display_name(TimedDurationField field);
std::string_view display_name(PeriodWidth width);

namespace arg {

#define ZELK_REASON(Name, ...)                                         \
    struct Name {                                                      \
        __VA_ARGS__                                                    \
        friend bool operator==(const Name&, const Name&) = default;    \
    }

ZELK_REASON(GlobalOrderBookSymbol);
ZELK_REASON(NonFiniteEventValue, EventValueField field;);
ZELK_REASON(FeatureVectorIndexOutOfBounds, uint64_t index; uint64_t length;);
ZELK_REASON(SourceValuesTooShort, uint64_t requested; uint64_t available;);
ZELK_REASON(FeatureVectorRangeOverflow, uint64_t start; uint64_t size;);
ZELK_REASON(FeatureVectorRangeOutOfBounds, uint64_t start; uint64_t end; uint64_t capacity;);
ZELK_REASON(LimitExceeded, LimitTarget target; uint64_t count; uint64_t limit;);
ZELK_REASON(FeatureVectorCapacityTooSmall, uint64_t capacity; uint64_t active_length;);
ZELK_REASON(ReservedFeatureId, uint64_t definition_index;);
ZELK_REASON(RingBufferCapacityZero);
ZELK_REASON(WindowLimitReached, uint64_t limit;);
ZELK_REASON(WindowAddedAfterData);
ZELK_REASON(WindowPeriodZero);
ZELK_REASON(WindowPeriodExceedsCapacity, uint64_t period; uint64_t capacity;);
ZELK_REASON(WindowPeriodMustBeLessThanCapacity, uint64_t period; uint64_t capacity;);
ZELK_REASON(AggregationTooShort);
ZELK_REASON(DurationPrecision, TimedDurationField field;);
ZELK_REASON(DurationOutOfRange, TimedDurationField field;);
ZELK_REASON(WindowShorterThanAggregation);
ZELK_REASON(WindowNotMultipleOfAggregation);
ZELK_REASON(WindowPeriodOutOfRange, PeriodWidth width;);
ZELK_REASON(WindowDurationOutOfRange);
ZELK_REASON(TimedPeriodTooLarge, IndicatorKind indicator;);

}  // namespace arg

struct InvalidArgumentError {
    using Reason =
        std::variant<arg::GlobalOrderBookSymbol, arg::NonFiniteEventValue,
                     arg::FeatureVectorIndexOutOfBounds, arg::SourceValuesTooShort,
                     arg::FeatureVectorRangeOverflow, arg::FeatureVectorRangeOutOfBounds,
                     arg::LimitExceeded, arg::FeatureVectorCapacityTooSmall,
                     arg::ReservedFeatureId, arg::RingBufferCapacityZero, arg::WindowLimitReached,
                     arg::WindowAddedAfterData, arg::WindowPeriodZero,
                     arg::WindowPeriodExceedsCapacity, arg::WindowPeriodMustBeLessThanCapacity,
                     arg::AggregationTooShort, arg::DurationPrecision, arg::DurationOutOfRange,
                     arg::WindowShorterThanAggregation, arg::WindowNotMultipleOfAggregation,
                     arg::WindowPeriodOutOfRange, arg::WindowDurationOutOfRange,
                     arg::TimedPeriodTooLarge>;
    Reason reason;

    template <typename R>
        requires std::is_constructible_v<Reason, R>
    InvalidArgumentError(R r) : reason(std::move(r)) {}  // NOLINT: implicit by design

    friend bool operator==(const InvalidArgumentError&, const InvalidArgumentError&) = default;
};

// The reason text, e.g. "symbol count 513 exceeds limit 512".
std::string to_string(const InvalidArgumentError& error);

}  // namespace zelk
