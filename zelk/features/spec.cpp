#include "zelk/features/spec.hpp"

#include <algorithm>

#include "zelk/features/canonical_order.hpp"
#include "zelk/features/compiler.hpp"
#include "zelk/features/feature_extractor.hpp"
#include "zelk/order_book/book.hpp"
#include "zelk/symbols.hpp"

namespace zelk {

Result<FeatureExtractorSpec> FeatureExtractorSpec::with_metadata(
    std::vector<FeatureDefinition> definitions, size_t capacity,
    std::optional<std::string> checksum) {
    if (capacity < definitions.size()) {
        return std::unexpected(
            ZelkError{arg::FeatureVectorCapacityTooSmall{capacity, definitions.size()}});
    }
    for (size_t i = 0; i < definitions.size(); ++i) {
        if (is_reserved_feature_id(definitions[i].id)) {
            return std::unexpected(ZelkError{arg::ReservedFeatureId{i}});
        }
    }
    sort_canonically(definitions);
    FeatureExtractorSpec spec;
    spec.definitions_ = std::move(definitions);
    spec.checksum_ = std::move(checksum);
    spec.capacity_ = capacity;
    return spec;
}

FeatureExtractorSpec FeatureExtractorSpec::empty(size_t capacity,
                                                 std::optional<std::string> checksum) {
    FeatureExtractorSpec spec;
    spec.checksum_ = std::move(checksum);
    spec.capacity_ = capacity;
    return spec;
}

Result<FeatureExtractorSpec> FeatureExtractorSpec::with_order_books(
    std::vector<OrderBookEntry> books) const& {
    return FeatureExtractorSpec(*this).with_order_books(std::move(books));
}

Result<FeatureExtractorSpec> FeatureExtractorSpec::with_order_books(
    std::vector<OrderBookEntry> books) && {
    std::vector<std::pair<std::string, size_t>> names;
    names.reserve(books.size());
    for (size_t i = 0; i < books.size(); ++i) {
        names.emplace_back(resolve_as_string(books[i].symbol), i);
    }
    std::stable_sort(names.begin(), names.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<OrderBookEntry> sorted;
    sorted.reserve(books.size());
    for (const auto& [name, i] : names) {
        const OrderBookEntry& entry = books[i];
        if (entry.symbol.is_global()) {
            return std::unexpected(ZelkError{arg::GlobalOrderBookSymbol{}});
        }
        if (!sorted.empty() && sorted.back().symbol == entry.symbol) {
            return std::unexpected(ZelkError{err::DuplicateOrderBook{entry.symbol}});
        }
        if (entry.config.dense) {
            if (auto count = entry.config.dense->level_count(); !count) {
                return std::unexpected(ZelkError{count.error()});
            }
        }
        sorted.push_back(entry);
    }
    order_books_ = std::move(sorted);
    return std::move(*this);
}

std::vector<FeatureId> FeatureExtractorSpec::feature_ids() const {
    std::vector<FeatureId> ids;
    ids.reserve(definitions_.size());
    for (const auto& d : definitions_) ids.push_back(d.id);
    return ids;
}

size_t FeatureExtractorSpec::indicator_count() const {
    return count_distinct_canonical_keys(definitions_);
}

Result<FeatureExtractor> FeatureExtractorSpec::build(VecFeatureVector vector) const {
    if (vector.capacity() != capacity_) {
        return std::unexpected(
            ZelkError{err::FeatureVectorCapacityMismatch{capacity_, vector.capacity()}});
    }
    if (vector.active_length() != definitions_.size()) {
        return std::unexpected(
            ZelkError{err::OutputCountMismatch{definitions_.size(), vector.active_length()}});
    }
    auto compilation = compile(definitions_, vector.active_length());
    if (!compilation) return std::unexpected(std::move(compilation.error()));
    std::vector<std::pair<Symbol, OrderBook>> books;
    books.reserve(order_books_.size());
    for (const auto& entry : order_books_) {
        auto book = entry.config.build();
        if (!book) return std::unexpected(ZelkError{std::move(book.error())});
        books.emplace_back(entry.symbol, std::move(*book));
    }
    return FeatureExtractor::create(std::move(vector), std::move(*compilation), std::move(books));
}

Result<FeatureExtractor> FeatureExtractorSpec::build() const {
    return build(VecFeatureVector::new_of_length(capacity_, definitions_.size()));
}

}  // namespace zelk
