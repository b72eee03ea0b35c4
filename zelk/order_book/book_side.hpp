// BookSide: one side of an order book in either storage form.
//
// A book stores both sides sparsely (any nonnegative price) or both densely
// (a fixed price grid). BookSide hides the form behind one small interface:
// validation of a level, level updates, snapshots, and the level access the
// queries use (best level, size at a price, levels best first, sums between
// prices). The form is chosen once when the book is built; each call branches
// on it directly, with no virtual dispatch. Movable, not copyable.
#pragma once

#include <expected>
#include <optional>
#include <variant>
#include <vector>

#include "zelk/order_book/dense_book_config.hpp"
#include "zelk/order_book/dense_book_side.hpp"
#include "zelk/order_book/exact_decimal.hpp"
#include "zelk/order_book/order_book_update.hpp"
#include "zelk/order_book/order_book_update_error.hpp"
#include "zelk/order_book/side.hpp"
#include "zelk/order_book/sparse_book_side.hpp"

namespace zelk {

class BookSide {
public:
    // An empty sparse side.
    static BookSide sparse(Side side) { return BookSide(SparseBookSide(side)); }
    // An empty dense side over `config`; fails as DenseBookSide::create does.
    static std::expected<BookSide, OrderBookUpdateError> dense(Side side,
                                                               const DenseBookConfig& config);

    Side side() const {
        if (const auto* s = sparse_form()) return s->side();
        return dense_form()->side();
    }
    bool is_dense() const { return std::holds_alternative<DenseBookSide>(form_); }
    // The underlying form; nullptr when the side has the other one.
    const SparseBookSide* sparse_form() const { return std::get_if<SparseBookSide>(&form_); }
    const DenseBookSide* dense_form() const { return std::get_if<DenseBookSide>(&form_); }
    SparseBookSide* sparse_form() { return std::get_if<SparseBookSide>(&form_); }
    DenseBookSide* dense_form() { return std::get_if<DenseBookSide>(&form_); }

    // Whether (price, size) may be applied to this side: size >= 0, and price
    // >= 0 (sparse) or a grid price (dense). Size zero is valid: a deletion.
    bool accepts(const ExactDecimal& price, const ExactDecimal& size) const {
        if (sparse_form() != nullptr) return SparseBookSide::accepts(price, size);
        return dense_form()->accepts(price, size);
    }

    // Sets the size at one price; zero removes the level.
    // REQUIRES: accepts(price, size).
    void update_level(const ExactDecimal& price, const ExactDecimal& size) {
        if (auto* s = std::get_if<SparseBookSide>(&form_)) {
            s->update_level(price, size);
        } else {
            std::get_if<DenseBookSide>(&form_)->update_level(price, size);
        }
    }

    // Replaces every level by `levels`, applied in list order (the later of two
    // equal prices wins; zero sizes leave their price absent). Consumes the
    // list. REQUIRES: accepts() holds for every pair.
    void apply_snapshot(std::vector<Level>&& levels);

    // The best level (highest bid, lowest ask); none when the side is empty.
    std::optional<Level> best() const {
        if (const auto* s = sparse_form()) return s->best();
        return dense_form()->best();
    }

    // The size at a numerically equal price; none when there is no level
    // there (on a dense side also when the price is off the grid).
    std::optional<ExactDecimal> size_at(const ExactDecimal& price) const {
        if (const auto* s = sparse_form()) return s->size_at(price);
        return dense_form()->size_at(price);
    }

    // Calls visit(const Level&) for each level, best first, until it returns
    // false.
    template <typename Visit>
    void for_each_level(Visit&& visit) const {
        if (const auto* s = sparse_form()) {
            s->for_each_level(visit);
        } else {
            dense_form()->for_each_level(visit);
        }
    }

    // Sum of the sizes of the levels with from <= price < to; none when the
    // sum overflows the decimal range.
    std::optional<ExactDecimal> sum_sizes_between(const ExactDecimal& from,
                                                  const ExactDecimal& to) const {
        if (const auto* s = sparse_form()) return s->sum_sizes_between(from, to);
        return dense_form()->sum_sizes_between(from, to);
    }

private:
    explicit BookSide(SparseBookSide side) : form_(std::move(side)) {}
    explicit BookSide(DenseBookSide side) : form_(std::move(side)) {}

    std::variant<SparseBookSide, DenseBookSide> form_;
};

}  // namespace zelk
