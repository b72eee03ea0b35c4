// ZelkError: the single error type of the core, returned as a value.
//
// Fourteen cases, each rendering to one fixed English message (see
// to_string). The Python layer raises ValueError with exactly that text, so
// the texts are part of the interface. Result<T> and Status are the return
// types of every fallible core operation.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <variant>

#include "zelk/argument_error.hpp"
#include "zelk/indicator_definition_error.hpp"
#include "zelk/order_book/exact_decimal.hpp"
#include "zelk/order_book/order_book_update_error.hpp"
#include "zelk/transformation_definition_error.hpp"
#include "zelk/types.hpp"

namespace zelk {

namespace err {

struct InvalidContextUpdate {
    uint64_t index;
    std::string_view reason;  // one of the fixed texts in feature_extractor.cpp
    friend bool operator==(const InvalidContextUpdate&, const InvalidContextUpdate&) = default;
};
struct InvalidArgument {
    InvalidArgumentError error;
    friend bool operator==(const InvalidArgument&, const InvalidArgument&) = default;
};
struct InvalidPriceRange {
    ExactDecimal from_price;
    ExactDecimal to_price;
    friend bool operator==(const InvalidPriceRange&, const InvalidPriceRange&) = default;
};
struct InvalidIndicatorDefinition {
    uint64_t index;
    IndicatorKind indicator;
    InvalidIndicatorDefinitionError reason;
    friend bool operator==(const InvalidIndicatorDefinition&,
                           const InvalidIndicatorDefinition&) = default;
};
struct InvalidTransformationDefinition {
    uint64_t index;
    InvalidTransformationDefinitionError reason;
    friend bool operator==(const InvalidTransformationDefinition&,
                           const InvalidTransformationDefinition&) = default;
};
struct InvalidPipelineStage {
    uint64_t index;
    std::string reason;
    friend bool operator==(const InvalidPipelineStage&, const InvalidPipelineStage&) = default;
};
struct OutputCountMismatch {
    uint64_t expected;
    uint64_t actual;
    friend bool operator==(const OutputCountMismatch&, const OutputCountMismatch&) = default;
};
struct FeatureVectorCapacityMismatch {
    uint64_t expected;
    uint64_t actual;
    friend bool operator==(const FeatureVectorCapacityMismatch&,
                           const FeatureVectorCapacityMismatch&) = default;
};
struct ModelVectorLengthMismatch {
    uint64_t expected;
    uint64_t actual;
    friend bool operator==(const ModelVectorLengthMismatch&,
                           const ModelVectorLengthMismatch&) = default;
};
struct ModelVectorCapacityMismatch {
    uint64_t expected;
    uint64_t actual;
    friend bool operator==(const ModelVectorCapacityMismatch&,
                           const ModelVectorCapacityMismatch&) = default;
};
struct TimestampOutOfOrder {
    Symbol symbol;
    EventKind event_kind;
    Timestamp timestamp;
    Timestamp previous_timestamp;
    friend bool operator==(const TimestampOutOfOrder&, const TimestampOutOfOrder&) = default;
};
struct OrderBookUpdateFailed {
    zelk::OrderBookUpdateError reason;
    friend bool operator==(const OrderBookUpdateFailed&, const OrderBookUpdateFailed&) = default;
};
struct OrderBookNotConfigured {
    Symbol symbol;
    friend bool operator==(const OrderBookNotConfigured&, const OrderBookNotConfigured&) = default;
};
struct DuplicateOrderBook {
    Symbol symbol;
    friend bool operator==(const DuplicateOrderBook&, const DuplicateOrderBook&) = default;
};

}  // namespace err

struct ZelkError {
    using Case = std::variant<err::InvalidContextUpdate, err::InvalidArgument,
                              err::InvalidPriceRange, err::InvalidIndicatorDefinition,
                              err::InvalidTransformationDefinition, err::InvalidPipelineStage,
                              err::OutputCountMismatch, err::FeatureVectorCapacityMismatch,
                              err::ModelVectorLengthMismatch, err::ModelVectorCapacityMismatch,
                              err::TimestampOutOfOrder, err::OrderBookUpdateFailed,
                              err::OrderBookNotConfigured, err::DuplicateOrderBook>;
    Case value;

    template <typename C>
        requires std::is_constructible_v<Case, C>
    ZelkError(C c) : value(std::move(c)) {}  // NOLINT: implicit by design
    // An argument reason becomes the InvalidArgument case.
    ZelkError(InvalidArgumentError e) : value(err::InvalidArgument{std::move(e)}) {}  // NOLINT
    // A book error becomes the OrderBookUpdateError case.
    ZelkError(OrderBookUpdateError e) : value(err::OrderBookUpdateFailed{std::move(e)}) {}  // NOLINT

    template <typename C>
    bool is() const {
        return std::holds_alternative<C>(value);
    }
    template <typename C>
    const C* get_if() const {
        return std::get_if<C>(&value);
    }
    friend bool operator==(const ZelkError&, const ZelkError&) = default;
};

// The user-facing message, nesting the reason texts.
std::string to_string(const ZelkError& error);

template <typename T>
using Result = std::expected<T, ZelkError>;
using Status = std::expected<void, ZelkError>;

}  // namespace zelk
