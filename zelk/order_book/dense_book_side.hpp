// DenseBookSide: one side of a book as a preallocated array over a price grid.
//
// Index i stands for min_price + i * tick_size on both sides; a zero size at
// an index means no level there. The occupied range (lo, hi) is always the
// tightest span holding every nonzero size, so the best bid (hi) and best ask
// (lo) are O(1) and iteration skips the empty grid beyond the range. Updates
// are array stores; only a deletion at the edge of the range scans inward.
//
// For speed the grid is also held in integer form: every grid price is an
// integer count of 10^-scale units, so mapping a price to its index is a few
// integer operations instead of decimal division. Grids whose offsets do not
// fit 64 bits fall back to the equivalent decimal arithmetic.
//
// The array is obtained zeroed with one non-throwing allocation and owned
// exclusively; the side is movable, not copyable. Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <expected>
#include <memory>
#include <optional>
#include <utility>

#include "zelk/order_book/dense_book_config.hpp"
#include "zelk/order_book/exact_decimal.hpp"
#include "zelk/order_book/order_book_update.hpp"
#include "zelk/order_book/order_book_update_error.hpp"
#include "zelk/order_book/side.hpp"

namespace zelk {

class DenseBookSide {
public:
    // Grids with more prices than this are refused with DenseCapacityExceeded
    // before any allocation is attempted: at 16 bytes per price that is 512
    // GiB per side, beyond what a process can hold.
    static constexpr uint64_t MAX_LEVELS = uint64_t{1} << 35;

    // An empty side over the grid of `config`. Fails with the grid's
    // InvalidDenseConfiguration, or DenseCapacityExceeded when the array is
    // too large or the memory cannot be obtained; the process continues.
    static std::expected<DenseBookSide, OrderBookUpdateError> create(Side side,
                                                                     const DenseBookConfig& config);

    DenseBookSide(DenseBookSide&&) noexcept = default;
    DenseBookSide& operator=(DenseBookSide&&) noexcept = default;

    Side side() const { return side_; }
    const DenseBookConfig& config() const { return config_; }
    // Number of grid prices, the array length.
    size_t level_count() const { return count_; }
    // (lo, hi) of the occupied indices; none when every size is zero.
    std::optional<std::pair<size_t, size_t>> occupied_range() const {
        if (!occupied_) return std::nullopt;
        return std::pair{lo_, hi_};
    }

    // The index of a grid price; none when the price is outside
    // [min_price, max_price] or between grid prices.
    std::optional<size_t> index(const ExactDecimal& price) const;

    // The grid price of `i` and the size stored there (zero included). The
    // price is rebuilt from the grid, so its scale is the grid's.
    // REQUIRES: i < level_count().
    Level level_at(size_t i) const { return Level{price_at(i), levels_.get()[i]}; }

    // Stores `size` at the index of `price`; a zero size removes the level.
    // REQUIRES: size >= 0 and index(price) exists; an off-grid price stops the
    // process, since the book validates every price before mutating.
    void update_level(const ExactDecimal& price, const ExactDecimal& size);

    // Removes every level; the array keeps its length.
    void clear();

    // The best level (hi for bids, lo for asks); none when empty.
    std::optional<Level> best() const {
        if (!occupied_) return std::nullopt;
        return level_at(side_ == Side::Bid ? hi_ : lo_);
    }

    // The size at a grid price; none when the price is off the grid or the
    // size there is zero.
    std::optional<ExactDecimal> size_at(const ExactDecimal& price) const;

    // Calls visit(const Level&) for each level, best first, until it returns
    // false. Visits only the occupied range and skips zero sizes.
    template <typename Visit>
    void for_each_level(Visit&& visit) const {
        if (!occupied_) return;
        const ExactDecimal* sizes = levels_.get();
        if (side_ == Side::Bid) {
            for (size_t i = hi_ + 1; i-- > lo_;) {
                if (sizes[i].is_zero()) continue;
                if (!visit(level_at(i))) return;
            }
        } else {
            for (size_t i = lo_; i <= hi_; ++i) {
                if (sizes[i].is_zero()) continue;
                if (!visit(level_at(i))) return;
            }
        }
    }

    // Sum of the sizes with from <= price < to; none when the sum overflows.
    // Scans the occupied range.
    std::optional<ExactDecimal> sum_sizes_between(const ExactDecimal& from,
                                                  const ExactDecimal& to) const;

private:
    struct FreeArray {
        void operator()(ExactDecimal* p) const { std::free(p); }
    };

    // The grid as integers at one scale: price = (min + i * tick) * 10^-scale.
    struct IntegerGrid {
        u128 min = 0;
        uint64_t tick = 1;
        uint64_t span = 0;  // (max - min), in units
        uint32_t scale = 0;
        bool usable = false;
    };

    DenseBookSide(Side side, const DenseBookConfig& config, size_t count, ExactDecimal* levels);

    ExactDecimal price_at(size_t i) const {
        if (grid_.usable) [[likely]] {
            const u128 units = grid_.min + static_cast<u128>(i) * grid_.tick;
            return *ExactDecimal::from_parts(units, grid_.scale, false);
        }
        return decimal_price_at(i);
    }
    ExactDecimal decimal_price_at(size_t i) const;
    std::optional<size_t> integer_index(const ExactDecimal& price) const;
    std::optional<size_t> decimal_index(const ExactDecimal& price) const;

    std::unique_ptr<ExactDecimal, FreeArray> levels_;
    size_t count_ = 0;
    size_t lo_ = 0;
    size_t hi_ = 0;
    bool occupied_ = false;
    Side side_;
    DenseBookConfig config_;
    IntegerGrid grid_;
};

}  // namespace zelk
