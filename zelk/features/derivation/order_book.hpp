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

    // The exact value of cell `cell`, or none when the query has no value.
    std::optional<ExactDecimal> evaluate(const OrderBook& book, size_t cell) const;

    Symbol symbol() const { return query_.symbol; }

private:
    explicit OrderBookDerivation(const FeatureKey& query) : query_(query) {}

    FeatureKey query_;
    std::array<uint64_t, MAX_DEPTHS> depths_{};
    size_t depth_count_ = 0;
};

}  // namespace zelk
