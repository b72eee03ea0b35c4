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

#include <array>
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
    std::optional<size_t> index(const ExactDecimal& price) const {
        const size_t i = find_index(price);
        if (i == NO_INDEX) return std::nullopt;
        return i;
    }

    // The grid price of `i` and the size stored there (zero included). The
    // price is rebuilt from the grid, so its scale is the grid's.
    // REQUIRES: i < level_count().
    Level level_at(size_t i) const { return Level{price_at(i), levels_.get()[i]}; }

    // Whether (price, size) may be applied: size >= 0 and a grid price.
    bool accepts(const ExactDecimal& price, const ExactDecimal& size) const {
        return !size.is_negative() && find_index(price) != NO_INDEX;
    }

    // Stores `size` at the index of `price`; a zero size removes the level.
    // REQUIRES: accepts(price, size); an off-grid price stops the process,
    // since the book validates every price before mutating.
    void update_level(const ExactDecimal& price, const ExactDecimal& size) {
        const size_t i = find_index(price);
        if (i == NO_INDEX) [[unlikely]]
            off_grid_mutation();
        levels_.get()[i] = size;
        if (!size.is_zero()) {
            if (!occupied_) {
                lo_ = hi_ = i;
                occupied_ = true;
            } else {
                if (i < lo_) lo_ = i;
                if (i > hi_) hi_ = i;
            }
            return;
        }
        // Inside the range the edges still hold levels; only an emptied edge
        // moves.
        if (occupied_ && (i == lo_ || i == hi_)) shrink_range();
    }

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
        bool usable = false;  // the integer form describes the grid
        bool narrow = false;  // usable, and max fits 64 bits: all-u64 arithmetic
    };

    static constexpr std::array<uint64_t, 20> POW10_U64 = [] {
        std::array<uint64_t, 20> powers{};
        uint64_t p = 1;
        for (auto& slot : powers) {
            slot = p;
            p *= 10;  // wraps after the last entry, which is never read
        }
        return powers;
    }();

    // index() with NO_INDEX for none: the per-change paths use this form,
    // which compiles to plain register code.
    static constexpr size_t NO_INDEX = SIZE_MAX;
    size_t find_index(const ExactDecimal& price) const {
        if (grid_.narrow && !price.sign_negative()) [[likely]]
            return narrow_index(price);
        return wide_index(price);
    }

    // find_index() for a nonnegative price on a narrow grid: a few 64-bit
    // operations, and no division when the price is written at the grid's
    // scale and the tick is one unit (the common feed case).
    size_t narrow_index(const ExactDecimal& price) const {
        const u128 coefficient = price.coefficient();
        // Beyond 64 bits of units a price is above every narrow grid, unless
        // trailing zeros bring it back: leave that to the general path.
        if (coefficient >> 64 != 0) return wide_index(price);
        uint64_t units = static_cast<uint64_t>(coefficient);
        const uint32_t scale = price.scale();
        if (scale > grid_.scale) {
            const uint32_t excess = scale - grid_.scale;
            if (excess >= 20) return wide_index(price);
            const uint64_t divisor = POW10_U64[excess];
            const uint64_t whole = units / divisor;
            if (whole * divisor != units) return NO_INDEX;
            units = whole;
        } else if (scale < grid_.scale) {
            const uint32_t missing = grid_.scale - scale;
            if (missing >= 20) return wide_index(price);
            if (__builtin_mul_overflow(units, POW10_U64[missing], &units)) {
                return NO_INDEX;  // far above the grid
            }
        }
        const uint64_t min = static_cast<uint64_t>(grid_.min);
        if (units < min) return NO_INDEX;
        const uint64_t offset = units - min;
        if (offset > grid_.span) return NO_INDEX;
        if (grid_.tick == 1) return static_cast<size_t>(offset);
        const uint64_t i = offset / grid_.tick;
        if (i * grid_.tick != offset) return NO_INDEX;
        return static_cast<size_t>(i);
    }

    DenseBookSide(Side side, const DenseBookConfig& config, size_t count, ExactDecimal* levels);

    ExactDecimal price_at(size_t i) const {
        if (grid_.narrow) [[likely]] {
            const uint64_t units = static_cast<uint64_t>(grid_.min) + i * grid_.tick;
            return *ExactDecimal::from_parts(units, grid_.scale, false);
        }
        if (grid_.usable) {
            const u128 units = grid_.min + static_cast<u128>(i) * grid_.tick;
            return *ExactDecimal::from_parts(units, grid_.scale, false);
        }
        return decimal_price_at(i);
    }
    ExactDecimal decimal_price_at(size_t i) const;
    // Pulls lo and hi in past zero sizes after an edge level was removed.
    void shrink_range();
    [[noreturn]] static void off_grid_mutation();
    // find_index() for every case the narrow path does not take.
    size_t wide_index(const ExactDecimal& price) const;
    size_t integer_index(const ExactDecimal& price) const;
    size_t decimal_index(const ExactDecimal& price) const;

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
