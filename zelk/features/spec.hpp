// FeatureExtractorSpec: the validated description of a raw feature vector.
//
// Invariants of every value: capacity >= number of definitions; no
// definition ID in the reserved namespace; definitions in canonical order;
// order books sorted by symbol name, none global, no symbol twice, every
// dense grid valid. A spec is immutable; builders construct a new one.
// Uniqueness of keys and IDs is enforced by the compiler, not here.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "zelk/error.hpp"
#include "zelk/features/feature_extractor.hpp"
#include "zelk/features/feature_id.hpp"
#include "zelk/order_book/order_book_config.hpp"

namespace zelk {

struct OrderBookEntry {
    Symbol symbol;
    OrderBookConfig config;
    friend bool operator==(const OrderBookEntry&, const OrderBookEntry&) = default;
};

class FeatureExtractorSpec {
public:
    // Validates capacity and reserved IDs (the index reported is the
    // position in `definitions` as given), then sorts canonically. No books.
    static Result<FeatureExtractorSpec> with_metadata(std::vector<FeatureDefinition> definitions,
                                                      size_t capacity,
                                                      std::optional<std::string> checksum);
    // An empty spec; cannot fail.
    static FeatureExtractorSpec empty(size_t capacity, std::optional<std::string> checksum);

    // This spec with its order books replaced by `books`, sorted by symbol
    // name. Fails on a global symbol, a symbol configured twice, or an
    // invalid dense grid.
    Result<FeatureExtractorSpec> with_order_books(std::vector<OrderBookEntry> books) const&;
    Result<FeatureExtractorSpec> with_order_books(std::vector<OrderBookEntry> books) &&;

    const std::vector<FeatureDefinition>& definitions() const { return definitions_; }
    const std::vector<OrderBookEntry>& order_books() const { return order_books_; }
    const std::optional<std::string>& checksum() const { return checksum_; }
    size_t capacity() const { return capacity_; }
    size_t active_feature_count() const { return definitions_.size(); }
    // The active IDs, in raw-vector order.
    std::vector<FeatureId> feature_ids() const;
    // Number of grouped requests: positions where the canonical key changes.
    size_t indicator_count() const;

    // Compiles a copy of the definitions and builds an extractor writing into
    // `vector`, which must have the spec's capacity and active length.
    Result<FeatureExtractor> build(VecFeatureVector vector) const;
    // build() into a fresh vector of the spec's shape.
    Result<FeatureExtractor> build() const;

    friend bool operator==(const FeatureExtractorSpec&, const FeatureExtractorSpec&) = default;

private:
    std::vector<FeatureDefinition> definitions_;
    std::vector<OrderBookEntry> order_books_;
    std::optional<std::string> checksum_;
    size_t capacity_ = 0;
};

}  // namespace zelk
