// Order-book derivation: one group of book queries on one symbol's book.
//
// It ignores ordinary dispatch; the extractor evaluates it against the
// committed book after an Applied or Resynchronized update. Every query kind
// has one cell except imbalance, which has one cell per requested depth (at
// most 16, in request order).
//
// Evaluation remembers the inputs of its last result: the best levels for
// the top-of-book queries, the two size sums per depth for imbalance. When
// an update leaves them exactly as they were (most updates touch levels the
// query does not read), the previous value is reused rather than recomputed
// with exact division.
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
#include "zelk/order_book/queries.hpp"

namespace zelk {

class OrderBookDerivation {
  public:
    static constexpr size_t MAX_DEPTHS = 16;

    // A query group from its group key (an order-book kind) and, for
    // imbalance, its depths. REQUIRES: depths.size() <= MAX_DEPTHS.
    static OrderBookDerivation create(const FeatureKey& query, std::span<const uint64_t> depths);

    // Book derivations see no events directly.
    void update(const Event&, size_t, size_t, OutputSink&) const {}

    // Writes each cell's value: the query's exact value converted to a
    // double, NaN where the query has no value.
    // REQUIRES: top == book_top(book); out.size() == the derivation's cell
    // count.
    void evaluate(const OrderBook& book, const BookTop& top, std::span<double> out);

    Symbol symbol() const { return query_.symbol; }

  private:
    explicit OrderBookDerivation(const FeatureKey& query) : query_(query) {}
    bool reads_top_only() const;
    double evaluate_top(const BookTop& top);
    void evaluate_imbalances(const OrderBook& book, std::span<double> out);
    // The exact value of a query that reads only the best levels.
    std::optional<ExactDecimal> top_query(const BookTop& top) const;
    // The exact value of any other single-cell query.
    std::optional<ExactDecimal> book_query(const OrderBook& book) const;

    FeatureKey query_;
    std::array<uint64_t, MAX_DEPTHS> depths_{};
    size_t depth_count_ = 0;

    // The inputs and value of the last top-of-book evaluation.
    bool top_known_ = false;
    BookTop last_top_;
    double last_top_value_ = 0.0;

    // Per imbalance depth: the size sums and value of the last evaluation;
    // a depth is known only when both sums had a value.
    std::array<bool, MAX_DEPTHS> sums_known_{};
    std::array<ExactDecimal, MAX_DEPTHS> last_bids_{};
    std::array<ExactDecimal, MAX_DEPTHS> last_asks_{};
    std::array<double, MAX_DEPTHS> last_imbalances_{};
};

}  // namespace zelk
