// SparseBookSide: one side of a book as a sorted array of levels.
//
// Levels are kept worst first, so the best level is at the back. Real feeds
// change the top of the book far more often than the tail, and an update
// near the back shifts only the few elements behind it; a short linear probe
// from the back finds those positions without a binary search. Prices are
// unique numerically (100.5 and 100.50 are one level) and every stored size
// is positive. Not thread-safe; owned by one book.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "zelk/order_book/exact_decimal.hpp"
#include "zelk/order_book/order_book_update.hpp"
#include "zelk/order_book/side.hpp"

namespace zelk {

class SparseBookSide {
public:
    explicit SparseBookSide(Side side) : side_(side) {}

    Side side() const { return side_; }
    // Number of levels held.
    size_t size() const { return levels_.size(); }
    bool empty() const { return levels_.empty(); }

    // Whether (price, size) may be applied: both nonnegative.
    static bool accepts(const ExactDecimal& price, const ExactDecimal& size) {
        return !price.is_negative() && !size.is_negative();
    }

    // Sets the size at `price`; a zero size (0, 0.00 or -0) removes the level.
    // A numerically equal stored price keeps its stored text form.
    // REQUIRES: price >= 0 and size >= 0 (the book validates first).
    void update_level(const ExactDecimal& price, const ExactDecimal& size);

    // Replaces every level by `levels`, applied in list order: the later of
    // two equal prices wins and zero sizes leave their price absent.
    // Consumes the list. REQUIRES: every pair satisfies update_level's terms.
    void apply_snapshot(std::vector<Level>&& levels);

    // The best level (highest bid, lowest ask); none when empty.
    std::optional<Level> best() const {
        if (levels_.empty()) return std::nullopt;
        return levels_.back();
    }

    // The size resting at a numerically equal price; none when absent.
    std::optional<ExactDecimal> size_at(const ExactDecimal& price) const;

    // Calls visit(const Level&) for each level, best first, until it returns
    // false.
    template <typename Visit>
    void for_each_level(Visit&& visit) const {
        for (auto it = levels_.rbegin(); it != levels_.rend(); ++it) {
            if (!visit(*it)) return;
        }
    }

    // Sum of the sizes with from <= price < to; none when the sum overflows.
    // Reads only the levels between the bounds.
    std::optional<ExactDecimal> sum_sizes_between(const ExactDecimal& from,
                                                  const ExactDecimal& to) const;

    // The stored levels, worst first (best at the back).
    std::span<const Level> levels_worst_first() const { return levels_; }

private:
    struct Position {
        size_t index;  // where `price` is, or where it would be inserted
        bool found;
    };

    // Positive when `a` is a better price than `b` on side S, negative when
    // worse, zero when numerically equal.
    template <Side S>
    static int relation(const ExactDecimal& a, const ExactDecimal& b) {
        const auto order = S == Side::Bid ? a <=> b : b <=> a;
        return order < 0 ? -1 : (order > 0 ? 1 : 0);
    }
    int relation(const ExactDecimal& a, const ExactDecimal& b) const {
        return side_ == Side::Bid ? relation<Side::Bid>(a, b) : relation<Side::Ask>(a, b);
    }

    // Where `price` is or would go. Compiled once per side so the ordering
    // direction is fixed inside the search loops.
    Position locate(const ExactDecimal& price) const {
        return side_ == Side::Bid ? locate<Side::Bid>(price) : locate<Side::Ask>(price);
    }
    template <Side S>
    Position locate(const ExactDecimal& price) const;

    std::vector<Level> levels_;  // strictly improving from front to back
    Side side_;
};

}  // namespace zelk
