#include "zelk/order_book/queries.hpp"

#include <algorithm>
#include <array>

#include "zelk/order_book/size_sum.hpp"

namespace zelk {

namespace {

constexpr ExactDecimal TWO = ExactDecimal::from_integer(2);
constexpr ExactDecimal BASIS_POINTS = ExactDecimal::from_integer(10000);

const BookSide& side_of(const OrderBook& book, Side side) {
    return side == Side::Bid ? book.bids() : book.asks();
}

// Both best levels, or none unless both sides have one.
struct Top {
    const Level& bid;
    const Level& ask;
};

std::optional<Top> top_of(const BookTop& top) {
    if (!top.bid || !top.ask) return std::nullopt;
    return Top{*top.bid, *top.ask};
}

// (p1 * s1 + p2 * s2) / (sb + sa), with every step checked.
std::optional<ExactDecimal> weighted(const ExactDecimal& p1, const ExactDecimal& s1,
                                     const ExactDecimal& p2, const ExactDecimal& s2,
                                     const ExactDecimal& total_size) {
    const auto a = p1.checked_mul(s1);
    if (!a) return std::nullopt;
    const auto b = p2.checked_mul(s2);
    if (!b) return std::nullopt;
    const auto numerator = a->checked_add(*b);
    if (!numerator) return std::nullopt;
    return numerator->checked_div(total_size);
}

}  // namespace

std::optional<Level> best_bid(const OrderBook& book) {
    return book.bids().best();
}

std::optional<Level> best_ask(const OrderBook& book) {
    return book.asks().best();
}

BookTop book_top(const OrderBook& book) {
    return BookTop{book.bids().best(), book.asks().best()};
}

std::optional<ExactDecimal> mid_price(const BookTop& book_top) {
    const auto top = top_of(book_top);
    if (!top) return std::nullopt;
    return top->bid.price.checked_add(top->ask.price).and_then([](const ExactDecimal& sum) {
        return sum.checked_div(TWO);
    });
}

std::optional<ExactDecimal> spread(const BookTop& book_top) {
    const auto top = top_of(book_top);
    if (!top) return std::nullopt;
    return top->ask.price.checked_sub(top->bid.price).transform([](const ExactDecimal& d) {
        return d.abs();
    });
}

std::optional<ExactDecimal> spread_bps(const BookTop& book_top) {
    const auto s = spread(book_top);
    if (!s) return std::nullopt;
    const auto mid = mid_price(book_top);
    if (!mid || mid->is_zero()) return std::nullopt;
    return s->checked_div(*mid).and_then(
        [](const ExactDecimal& ratio) { return ratio.checked_mul(BASIS_POINTS); });
}

std::optional<ExactDecimal> weighted_mid_price(const BookTop& book_top) {
    const auto top = top_of(book_top);
    if (!top) return std::nullopt;
    const auto total = top->bid.size.checked_add(top->ask.size);
    if (!total) return std::nullopt;
    return weighted(top->bid.price, top->bid.size, top->ask.price, top->ask.size, *total);
}

std::optional<ExactDecimal> microprice(const BookTop& book_top) {
    const auto top = top_of(book_top);
    if (!top) return std::nullopt;
    const auto total = top->bid.size.checked_add(top->ask.size);
    if (!total) return std::nullopt;
    return weighted(top->bid.price, top->ask.size, top->ask.price, top->bid.size, *total);
}

std::optional<ExactDecimal> mid_price(const OrderBook& book) {
    return mid_price(book_top(book));
}
std::optional<ExactDecimal> spread(const OrderBook& book) {
    return spread(book_top(book));
}
std::optional<ExactDecimal> spread_bps(const OrderBook& book) {
    return spread_bps(book_top(book));
}
std::optional<ExactDecimal> weighted_mid_price(const OrderBook& book) {
    return weighted_mid_price(book_top(book));
}
std::optional<ExactDecimal> microprice(const OrderBook& book) {
    return microprice(book_top(book));
}

namespace {

// For each requested depth, the sum of the sizes of the first `depth` levels
// of the side (all of them when it has fewer), in one walk: the running total
// is recorded as the walk passes each depth, so every sum is the same
// left-to-right sum a walk to that depth alone would give. None where the
// running total overflowed first.
void sums_at_depths(const BookSide& side, std::span<const uint64_t> depths,
                    std::span<std::optional<ExactDecimal>> sums) {
    const size_t n = depths.size();
    if (n == 0) return;
    // Positions of the depths in ascending order (at most a handful); left
    // uninitialised beyond n, which a zeroing fill would cost more than the
    // sort.
    std::array<uint8_t, IMBALANCE_MAX_DEPTHS> order;
    for (size_t i = 0; i < n; ++i) {
        size_t j = i;
        while (j > 0 && depths[order[j - 1]] > depths[i]) {
            order[j] = order[j - 1];
            --j;
        }
        order[j] = static_cast<uint8_t>(i);
    }
    SizeSum total;
    size_t next = 0;
    while (next < n && depths[order[next]] == 0) sums[order[next++]] = total.value();
    if (next == n) return;
    uint64_t taken = 0;
    uint64_t target = depths[order[next]];
    bool overflow = false;
    side.for_each_level([&](const Level& l) {
        if (!total.add(l.size)) {
            overflow = true;
            return false;
        }
        if (++taken < target) return true;
        const ExactDecimal sum = total.value();
        do {
            sums[order[next++]] = sum;
        } while (next < n && depths[order[next]] == taken);
        if (next == n) return false;
        target = depths[order[next]];
        return true;
    });
    // Depths beyond the side's levels take the whole side; after an overflow
    // they have no value.
    if (next == n) return;
    const std::optional<ExactDecimal> rest =
        overflow ? std::nullopt : std::optional<ExactDecimal>(total.value());
    for (; next < n; ++next) sums[order[next]] = rest;
}

}  // namespace

std::optional<ExactDecimal> imbalance_of(const std::optional<ExactDecimal>& bids,
                                         const std::optional<ExactDecimal>& asks) {
    if (!bids || !asks) return std::nullopt;
    const auto total = bids->checked_add(*asks);
    if (!total || total->is_zero()) return std::nullopt;
    const auto difference = bids->checked_sub(*asks);
    if (!difference) return std::nullopt;
    return difference->checked_div(*total);
}

void imbalance_sums(const OrderBook& book, std::span<const uint64_t> depths,
                    std::span<std::optional<ExactDecimal>> bids,
                    std::span<std::optional<ExactDecimal>> asks) {
    sums_at_depths(book.bids(), depths, bids);
    sums_at_depths(book.asks(), depths, asks);
}

void imbalances(const OrderBook& book, std::span<const uint64_t> depths,
                std::span<std::optional<ExactDecimal>> out) {
    std::array<std::optional<ExactDecimal>, IMBALANCE_MAX_DEPTHS> bids;
    std::array<std::optional<ExactDecimal>, IMBALANCE_MAX_DEPTHS> asks;
    const size_t n = std::min(depths.size(), IMBALANCE_MAX_DEPTHS);
    imbalance_sums(book, depths.first(n), std::span(bids).first(n), std::span(asks).first(n));
    for (size_t i = 0; i < n; ++i) out[i] = imbalance_of(bids[i], asks[i]);
}

std::optional<ExactDecimal> imbalance(const OrderBook& book, size_t depth) {
    const uint64_t depths[] = {depth};
    std::optional<ExactDecimal> value;
    imbalances(book, depths, std::span(&value, 1));
    return value;
}

std::optional<ExactDecimal> level(const OrderBook& book, Side side, const ExactDecimal& price) {
    return side_of(book, side).size_at(price);
}

std::vector<Level> top_n(const OrderBook& book, Side side, size_t n) {
    std::vector<Level> levels;
    if (n == 0) return levels;
    side_of(book, side).for_each_level([&](const Level& l) {
        levels.push_back(l);
        return levels.size() < n;
    });
    return levels;
}

std::optional<Level> nth_level(const OrderBook& book, Side side, size_t n) {
    std::optional<Level> found;
    if (n == 0) return found;
    size_t seen = 0;
    side_of(book, side).for_each_level([&](const Level& l) {
        if (++seen < n) return true;
        found = l;
        return false;
    });
    return found;
}

std::optional<ExactDecimal> depth_until_price(const OrderBook& book, Side side,
                                              const ExactDecimal& price) {
    SizeSum total;
    bool overflow = false;
    side_of(book, side).for_each_level([&](const Level& l) {
        const bool within = side == Side::Bid ? l.price >= price : l.price <= price;
        if (!within) return false;
        overflow = !total.add(l.size);
        return !overflow;
    });
    if (overflow) return std::nullopt;
    return total.value();
}

std::optional<DepthUntilSize> depth_until_total_size(const OrderBook& book, Side side,
                                                     const ExactDecimal& target) {
    std::optional<DepthUntilSize> result;
    if (!target.is_positive()) return result;
    std::optional<ExactDecimal> best_price;
    SizeSum total;
    side_of(book, side).for_each_level([&](const Level& l) {
        if (!best_price) best_price = l.price;
        if (!total.add(l.size)) return false;  // no value on overflow
        if (total.value() < target) return true;
        result = DepthUntilSize{*best_price, l.price, total.value()};
        return false;
    });
    return result;
}

Result<std::optional<ExactDecimal>> volume_between_prices(const OrderBook& book, Side side,
                                                          const ExactDecimal& from_price,
                                                          const ExactDecimal& to_price) {
    if (from_price >= to_price) {
        return std::unexpected(ZelkError{err::InvalidPriceRange{from_price, to_price}});
    }
    return side_of(book, side).sum_sizes_between(from_price, to_price);
}

}  // namespace zelk
