// Order-book queries: values read from a book after an applied update.
//
// All arithmetic is exact decimal arithmetic. "None" (nullopt) means the
// query has no value, which includes arithmetic that would leave the decimal
// range (products or sums beyond about 7.9e28): such a query is reported as
// having no value rather than failing. The queries use only the common level
// access of BookSide, so they answer identically on sparse and dense books.
// They never change the book and allocate nothing, except top_n's result.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "zelk/error.hpp"
#include "zelk/order_book/book.hpp"
#include "zelk/order_book/exact_decimal.hpp"
#include "zelk/order_book/order_book_update.hpp"
#include "zelk/order_book/side.hpp"

namespace zelk {

// The highest bid; none when there are no bids.
std::optional<Level> best_bid(const OrderBook& book);
// The lowest ask; none when there are no asks.
std::optional<Level> best_ask(const OrderBook& book);

// The best level of each side, read once for several top-of-book queries.
struct BookTop {
    std::optional<Level> bid;
    std::optional<Level> ask;
};
BookTop book_top(const OrderBook& book);

// The top-of-book queries below read only the best levels; each comes as a
// query on the book and on a BookTop already read from it.

// (best bid + best ask) / 2; none unless both sides have a level.
std::optional<ExactDecimal> mid_price(const BookTop& top);
std::optional<ExactDecimal> mid_price(const OrderBook& book);
// |best ask - best bid| (positive on a crossed book); none unless both sides
// have a level.
std::optional<ExactDecimal> spread(const BookTop& top);
std::optional<ExactDecimal> spread(const OrderBook& book);
// (spread / mid) * 10000, quotient first; none when spread or mid is none or
// the mid is zero.
std::optional<ExactDecimal> spread_bps(const BookTop& top);
std::optional<ExactDecimal> spread_bps(const OrderBook& book);
// (pb * sb + pa * sa) / (sb + sa): each best price weighted by its own size.
std::optional<ExactDecimal> weighted_mid_price(const BookTop& top);
std::optional<ExactDecimal> weighted_mid_price(const OrderBook& book);
// (pb * sa + pa * sb) / (sb + sa): each best price weighted by the opposite
// side's size.
std::optional<ExactDecimal> microprice(const BookTop& top);
std::optional<ExactDecimal> microprice(const OrderBook& book);
// (B - A) / (B + A) over the sizes of the first `depth` levels of each side
// (all of them when a side has fewer); none when B + A is zero.
std::optional<ExactDecimal> imbalance(const OrderBook& book, size_t depth);
// imbalance() for several depths at once, walking each side once: out[i]
// equals imbalance(book, depths[i]). REQUIRES: depths.size() <=
// IMBALANCE_MAX_DEPTHS and out.size() >= depths.size().
inline constexpr size_t IMBALANCE_MAX_DEPTHS = 16;
void imbalances(const OrderBook& book, std::span<const uint64_t> depths,
                std::span<std::optional<ExactDecimal>> out);
// The size sums imbalances() divides: for each depth, the sums B and A of
// the first `depth` bid and ask levels (none where a sum overflowed).
// REQUIRES: as imbalances(), with bids and asks as large as depths.
void imbalance_sums(const OrderBook& book, std::span<const uint64_t> depths,
                    std::span<std::optional<ExactDecimal>> bids,
                    std::span<std::optional<ExactDecimal>> asks);
// (B - A) / (B + A) from the sums of imbalance_sums(); none when either is
// none or B + A is zero.
std::optional<ExactDecimal> imbalance_of(const std::optional<ExactDecimal>& bids,
                                         const std::optional<ExactDecimal>& asks);

// The size resting at exactly `price` (numeric equality); none when absent,
// including a price off a dense grid.
std::optional<ExactDecimal> level(const OrderBook& book, Side side, const ExactDecimal& price);
// At most `n` levels of the side, best first. Allocates the result.
std::vector<Level> top_n(const OrderBook& book, Side side, size_t n);
// The n-th best level of the side, counting from 1; none when the side has
// fewer than n levels or n is 0. Allocates nothing.
std::optional<Level> nth_level(const OrderBook& book, Side side, size_t n);

// Sum of the sizes from the best level while the level is at `price` or
// better (bids: price >= bound, asks: price <= bound), stopping at the first
// that is not. Zero when none qualifies; none only on overflow.
std::optional<ExactDecimal> depth_until_price(const OrderBook& book, Side side,
                                              const ExactDecimal& price);

// Result of depth_until_total_size.
struct DepthUntilSize {
    ExactDecimal price_from;  // the best price
    ExactDecimal price_to;    // the level at which the cumulative size reached the target
    ExactDecimal total_size;  // the cumulative size through that level
    friend bool operator==(const DepthUntilSize&, const DepthUntilSize&) = default;
};
// Walks the side best first until the cumulative size reaches `target`;
// none when target <= 0 or the levels run out first.
std::optional<DepthUntilSize> depth_until_total_size(const OrderBook& book, Side side,
                                                     const ExactDecimal& target);

// Sum of the sizes of the levels with from_price <= price < to_price (zero
// when none); InvalidPriceRange when from_price >= to_price. The inner value
// is none only on overflow.
Result<std::optional<ExactDecimal>> volume_between_prices(const OrderBook& book, Side side,
                                                          const ExactDecimal& from_price,
                                                          const ExactDecimal& to_price);

}  // namespace zelk
