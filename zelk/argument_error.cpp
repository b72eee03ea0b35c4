#include "zelk/argument_error.hpp"

#include <fmt/format.h>

namespace zelk {

std::string_view display_name(LimitTarget target) {
    switch (target) {
        case LimitTarget::Symbols: return "symbol";
        case LimitTarget::RuntimeFeatures: return "runtime feature";
        case LimitTarget::SymbolRouters: return "symbol router";
        case LimitTarget::Subscribers: return "subscriber";
        case LimitTarget::SubscriberGroup: return "subscriber group";
        case LimitTarget::OrderBooks: return "order-book";
    }
    return "";
}

std::string_view display_name(EventValueField field) {
    switch (field) {
        case EventValueField::Price: return "price";
        case EventValueField::Volume: return "volume";
        case EventValueField::TradePrice: return "trade price";
        case EventValueField::TradeVolume: return "trade volume";
    }
    return "";
}

std::string_view display_name(TimedDurationField field) {
    switch (field) {
        case TimedDurationField::Aggregation: return "aggregation duration";
        case TimedDurationField::Window: return "window duration";
        case TimedDurationField::TimedWindow: return "timed window durations";
    }
    return "";
}

std::string_view display_name(PeriodWidth width) {
    return width == PeriodWidth::Signed64 ? "signed 64-bit" : "usize";
}

namespace {

struct Render {
    std::string operator()(const arg::GlobalOrderBookSymbol&) const {
        return "order books require a non-global symbol";
    }
    std::string operator()(const arg::NonFiniteEventValue& r) const {
        return fmt::format("event {} must be finite", display_name(r.field));
    }
    std::string operator()(const arg::FeatureVectorIndexOutOfBounds& r) const {
        return fmt::format("index {} is out of bounds for feature vector of length {}", r.index,
                           r.length);
    }
    std::string operator()(const arg::SourceValuesTooShort& r) const {
        return fmt::format("requested size {} exceeds the {} provided values", r.requested,
                           r.available);
    }
    std::string operator()(const arg::FeatureVectorRangeOverflow& r) const {
        return fmt::format("range starting at {} with size {} overflows usize", r.start, r.size);
    }
    std::string operator()(const arg::FeatureVectorRangeOutOfBounds& r) const {
        return fmt::format("range {}..{} is out of bounds for feature vector capacity {}", r.start,
                           r.end, r.capacity);
    }
    std::string operator()(const arg::LimitExceeded& r) const {
        return fmt::format("{} count {} exceeds limit {}", display_name(r.target), r.count,
                           r.limit);
    }
    std::string operator()(const arg::FeatureVectorCapacityTooSmall& r) const {
        return fmt::format("feature vector capacity {} is smaller than active length {}",
                           r.capacity, r.active_length);
    }
    std::string operator()(const arg::ReservedFeatureId& r) const {
        return fmt::format(
            "feature definition at index {} uses the reserved namespace for feature IDs",
            r.definition_index);
    }
    std::string operator()(const arg::RingBufferCapacityZero&) const {
        return "ring buffer capacity must be greater than 0";
    }
    std::string operator()(const arg::WindowLimitReached& r) const {
        return fmt::format("maximum number of windows ({}) reached", r.limit);
    }
    std::string operator()(const arg::WindowAddedAfterData&) const {
        return "cannot add a window after data has been added";
    }
    std::string operator()(const arg::WindowPeriodZero&) const {
        return "window period must be greater than 0";
    }
    std::string operator()(const arg::WindowPeriodExceedsCapacity& r) const {
        return fmt::format("window period {} cannot exceed ring buffer capacity {}", r.period,
                           r.capacity);
    }
    std::string operator()(const arg::WindowPeriodMustBeLessThanCapacity& r) const {
        return fmt::format("window period {} must be less than ring buffer capacity {}", r.period,
                           r.capacity);
    }
    std::string operator()(const arg::AggregationTooShort&) const {
        return "aggregation duration must be at least 1 millisecond";
    }
    std::string operator()(const arg::DurationPrecision& r) const {
        return fmt::format("{} must use whole-millisecond precision", display_name(r.field));
    }
    std::string operator()(const arg::DurationOutOfRange& r) const {
        return fmt::format("{} must fit signed 64-bit milliseconds", display_name(r.field));
    }
    std::string operator()(const arg::WindowShorterThanAggregation&) const {
        return "window cannot be shorter than aggregation";
    }
    std::string operator()(const arg::WindowNotMultipleOfAggregation&) const {
        return "window must be a multiple of aggregation";
    }
    std::string operator()(const arg::WindowPeriodOutOfRange& r) const {
        return fmt::format("window period must fit {}", display_name(r.width));
    }
    std::string operator()(const arg::WindowDurationOutOfRange&) const {
        return "window duration must fit signed 64-bit milliseconds";
    }
    std::string operator()(const arg::TimedPeriodTooLarge& r) const {
        return fmt::format("{} timed period is too large", display_name(r.indicator));
    }
};

}  // namespace

std::string to_string(const InvalidArgumentError& error) {
    return std::visit(Render{}, error.reason);
}

}  // namespace zelk
