#include "zelk/error.hpp"

#include <fmt/format.h>

#include "zelk/symbols.hpp"

namespace zelk {

namespace {

struct Render {
    std::string operator()(const err::InvalidContextUpdate& e) const {
        return fmt::format("context update {}: {}", e.index, e.reason);
    }
    std::string operator()(const err::InvalidArgument& e) const {
        return "invalid argument: " + to_string(e.error);
    }
    std::string operator()(const err::InvalidPriceRange& e) const {
        return fmt::format(
            "invalid price range: from price {} must be less than to price {}",
            e.from_price.to_normalized_string(), e.to_price.to_normalized_string());
    }
    std::string operator()(const err::InvalidIndicatorDefinition& e) const {
        return fmt::format("invalid indicator definition at index {}: {}: {}", e.index,
                           display_name(e.indicator), to_string(e.reason));
    }
    std::string operator()(const err::InvalidTransformationDefinition& e) const {
        return fmt::format("invalid transformation definition at index {}: {}", e.index,
                           to_string(e.reason));
    }
    std::string operator()(const err::InvalidPipelineStage& e) const {
        return fmt::format("invalid pipeline stage {}: {}", e.index, e.reason);
    }
    std::string operator()(const err::OutputCountMismatch& e) const {
        return fmt::format("output storage has {} cells, but compilation requires exactly {}",
                           e.actual, e.expected);
    }
    std::string operator()(const err::FeatureVectorCapacityMismatch& e) const {
        return fmt::format(
            "output storage has capacity {}, but the feature-vector spec requires capacity {}",
            e.actual, e.expected);
    }
    std::string operator()(const err::ModelVectorLengthMismatch& e) const {
        return fmt::format(
            "model-input storage has {} active cells, but the model-input spec requires exactly {}",
            e.actual, e.expected);
    }
    std::string operator()(const err::ModelVectorCapacityMismatch& e) const {
        return fmt::format(
            "model-input storage has capacity {}, but the model-input spec requires capacity {}",
            e.actual, e.expected);
    }
    std::string operator()(const err::TimestampOutOfOrder& e) const {
        return fmt::format(
            "timestamp {} for {} event for symbol {} is earlier than previous timestamp {}",
            e.timestamp, display_name(e.event_kind), display(e.symbol), e.previous_timestamp);
    }
    std::string operator()(const err::OrderBookUpdateFailed& e) const {
        return "order-book update failed: " + to_string(e.reason);
    }
    std::string operator()(const err::OrderBookNotConfigured& e) const {
        return fmt::format("no order book is configured for symbol {}", display(e.symbol));
    }
    std::string operator()(const err::DuplicateOrderBook& e) const {
        return fmt::format("more than one order book is configured for symbol {}",
                           display(e.symbol));
    }
};

}  // namespace

std::string to_string(const ZelkError& error) { return std::visit(Render{}, error.value); }

}  // namespace zelk
