// Order-book derivation: one group of book queries on one symbol's book.
//
// It ignores ordinary dispatch; the extractor evaluates it against the
// committed book after an Applied or Resynchronized update. Every query kind
// has one cell except imbalance, which has one cell per requested depth (at
// most 16, in request order).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "zelk/error.hpp"
#include "zelk/event.hpp"
#include "zelk/features/feature_key.hpp"
#include "zelk/features/output_sink.hpp"
#include "zelk/order_book/book.hpp"

namespace zelk {

class OrderBookDerivation {
public:
    static constexpr size_t MAX_DEPTHS = 16;

    // A query group from its group key (an order-book kind) and, for
    // imbalance, its depths. REQUIRES: depths.size() <= MAX_DEPTHS.
    static OrderBookDerivation create(const FeatureKey& query, std::span<const uint64_t> depths);

    // Book derivations see no events directly.
    void update(const Event&, size_t, size_t, OutputSink&) const {}

    // The exact value of each cell, none where the query has no value.
    // REQUIRES: out.size() == the derivation's cell count.
    void evaluate(const OrderBook& book, std::span<std::optional<ExactDecimal>> out) const;

    Symbol symbol() const { return query_.symbol; }

private:
    explicit OrderBookDerivation(const FeatureKey& query) : query_(query) {}
    std::optional<ExactDecimal> evaluate_single(const OrderBook& book) const;

    FeatureKey query_;
    std::array<uint64_t, MAX_DEPTHS> depths_{};
    size_t depth_count_ = 0;
};

}  // namespace zelk
