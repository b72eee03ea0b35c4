#include "zelk/indicator_definition_error.hpp"

#include <fmt/format.h>

namespace zelk {

std::string_view display_name(DefinitionDurationField field) {
    return field == DefinitionDurationField::Aggregation ? "aggregation" : "window";
}

namespace {

struct Render {
    std::string operator()(const def::EmptyContextName&) const {
        return "context name must not be empty";
    }
    std::string operator()(const def::OrderBookPriceNegative&) const {
        return "order-book query prices must be nonnegative";
    }
    std::string operator()(const def::OrderBookSizeNotPositive&) const {
        return "order-book target size must be positive";
    }
    std::string operator()(const def::OrderBookPriceRangeInvalid&) const {
        return "order-book query requires from_price < to_price";
    }
    std::string operator()(const def::OrderBookDepthZero&) const {
        return "order-book depth must be positive";
    }
    std::string operator()(const def::CompatibleGroupOutputLimitExceeded& r) const {
        return fmt::format("compatible feature group exceeds {} outputs", r.limit);
    }
    std::string operator()(const def::DuplicateScalarDerivation&) const {
        return "duplicates a scalar runtime derivation";
    }
    std::string operator()(const def::DuplicateFeatureKey&) const {
        return "duplicates an earlier feature key";
    }
    std::string operator()(const def::DuplicateFeatureId&) const {
        return "duplicates an earlier feature ID";
    }
    std::string operator()(const def::ScalarEventFieldSourceRequired&) const {
        return "requires a scalar event-field source";
    }
    std::string operator()(const def::TradeEventSourceRequired&) const {
        return "requires Event(Trade) as its source";
    }
    std::string operator()(const def::WindowTooShort&) const { return "window must be at least 1"; }
    std::string operator()(const def::WindowTooLarge&) const { return "window is too large"; }
    std::string operator()(const def::AggregationTooShort&) const {
        return "aggregation must be at least 1 millisecond";
    }
    std::string operator()(const def::WindowShorterThanAggregation& r) const {
        return fmt::format("window must be at least aggregation {}ms, got {}ms",
                           r.aggregation_millis, r.window_millis);
    }
    std::string operator()(const def::WindowNotMultipleOfAggregation& r) const {
        return fmt::format("window must be an exact multiple of aggregation {}ms, got {}ms",
                           r.aggregation_millis, r.window_millis);
    }
    std::string operator()(const def::BucketPeriodOutOfRange&) const {
        return "derived bucket period does not fit usize";
    }
    std::string operator()(const def::DurationPrecision& r) const {
        return fmt::format("{} must use whole-millisecond precision, got {}",
                           display_name(r.field), to_human_string(r.duration));
    }
    std::string operator()(const def::DurationOutOfRange& r) const {
        return fmt::format("{} must fit signed 64-bit milliseconds, got {}", display_name(r.field),
                           to_human_string(r.duration));
    }
    std::string operator()(const def::UtcOffsetOutOfRange& r) const {
        return fmt::format("UTC offset must be within -14h..=+14h, got {}ms", r.offset_millis);
    }
    std::string operator()(const def::UtcOffsetPrecision& r) const {
        return fmt::format("UTC offset must use whole-minute precision, got {}ms",
                           r.offset_millis);
    }
    std::string operator()(const def::InvalidArgument& r) const {
        return "invalid argument: " + to_string(r.error);
    }
    std::string operator()(const def::ConstructionFailed&) const {
        return "indicator construction failed";
    }
};

}  // namespace

std::string to_string(const InvalidIndicatorDefinitionError& error) {
    return std::visit(Render{}, error.reason);
}

}  // namespace zelk
