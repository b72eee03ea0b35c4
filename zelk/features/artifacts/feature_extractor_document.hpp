// The feature-extractor spec artifact as it stands on the wire, version "2.0".
//
// These structs mirror the JSON document member for member, before any
// meaning is checked: reading fills them from a parsed tree, refusing
// unknown, missing and duplicate members and wrong types; writing builds
// them from a spec and turns them into a tree whose member order is the
// artifact's fixed order. Every value read keeps its position so the
// semantic checks that follow can point at it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "zelk/features/artifacts/json_strict.hpp"
#include "zelk/features/artifacts/json_value.hpp"
#include "zelk/order_book/order_book_config.hpp"
#include "zelk/types.hpp"

namespace zelk::artifact {

using json::Located;
using json::Position;
using OptionalText = std::optional<Located<std::string>>;
using OptionalCount = std::optional<Located<uint64_t>>;

struct SourceDocument {
    Located<std::string> type;
    OptionalText event;
    OptionalText field;
    Position position;
};

struct OptionsDocument {
    OptionalText name{};
    OptionalText side{};
    OptionalText price{};
    OptionalText size{};
    OptionalText from_price{};
    OptionalText to_price{};
    OptionalCount n_levels{};
    OptionalText aggregation{};
    OptionalText utc_offset{};
    Position position;
};

// A sample window (an integer) or a time window (a duration string).
using WindowValue = std::variant<uint64_t, std::string>;

struct OutputDocument {
    OptionalCount n_levels{};
    OptionalCount lag{};
    std::optional<Located<WindowValue>> window{};
    OptionalText id{};
    Position position;
};

struct IndicatorDocument {
    Located<std::string> kind;
    SourceDocument source;
    std::optional<Located<WarmupPolicy>> warmup_policy;
    std::optional<OptionsDocument> options;
    std::optional<Located<std::vector<OutputDocument>>> outputs;
    Position position;
};

struct FeatureGroupDocument {
    Located<std::string> symbol;
    Located<std::vector<IndicatorDocument>> indicators;
    Position position;
};

struct RequiredEventDocument {
    Located<std::string> symbol;
    Located<std::string> event;
    Position position;
};

struct DenseDocument {
    OptionalText tick_size;
    OptionalText min_price;
    OptionalText max_price;
    Position position;
};

struct OrderBookDocument {
    Located<std::string> symbol;
    Located<UpdatePolicy> update_policy;
    Located<uint64_t> buffer_size;
    std::optional<DenseDocument> dense;
    Position position;
};

struct FeatureExtractorDocument {
    Located<std::string> version;
    Located<uint64_t> capacity;
    Located<uint64_t> length;
    Located<std::vector<RequiredEventDocument>> required_events;
    OptionalText checksum;
    Located<std::vector<FeatureGroupDocument>> features;
    std::optional<Located<std::vector<OrderBookDocument>>> order_books;
};

// Structural reading of a whole document; the first fault found in document
// order is returned.
json::Read<FeatureExtractorDocument> read_document(const json::Value& root);

// The tree of a document, members in the artifact's order, optional members
// omitted when absent.
json::Value to_value(const FeatureExtractorDocument& document);

}  // namespace zelk::artifact
