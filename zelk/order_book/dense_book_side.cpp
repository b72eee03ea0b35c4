#include "zelk/order_book/dense_book_side.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>

#include "zelk/order_book/powers_of_ten.hpp"
#include "zelk/order_book/size_sum.hpp"

namespace zelk {

namespace {

constexpr const auto& POW10 = detail::POW10_U128;
constexpr uint64_t U64_MAX = std::numeric_limits<uint64_t>::max();

[[noreturn]] void die(const char* message) {
    std::fputs(message, stderr);
    std::fputc('\n', stderr);
    std::abort();
}

// `value` as an integer count of 10^-scale units; none when it is negative,
// needs more fraction digits than `scale`, or overflows 128 bits.
std::optional<u128> units_at(const ExactDecimal& value, uint32_t scale) {
    const ExactDecimal n = value.normalized();
    if (n.is_negative() || n.scale() > scale) return std::nullopt;
    u128 units = 0;
    if (__builtin_mul_overflow(n.coefficient(), POW10[scale - n.scale()], &units)) {
        return std::nullopt;
    }
    return units;
}

}  // namespace

std::expected<DenseBookSide, OrderBookUpdateError> DenseBookSide::create(
    Side side, const DenseBookConfig& config) {
    const auto count = config.level_count();
    if (!count) return std::unexpected(count.error());
    if (*count > MAX_LEVELS) return std::unexpected(OrderBookUpdateError{DenseCapacityExceeded{}});
    // calloc hands back zeroed pages lazily, so a large grid costs memory only
    // where levels are actually written. All-zero bytes are the decimal zero.
    void* raw = std::calloc(static_cast<size_t>(*count), sizeof(ExactDecimal));
    if (raw == nullptr) return std::unexpected(OrderBookUpdateError{DenseCapacityExceeded{}});
    return DenseBookSide(side, config, static_cast<size_t>(*count),
                         static_cast<ExactDecimal*>(raw));
}

DenseBookSide::DenseBookSide(Side side, const DenseBookConfig& config, size_t count,
                             ExactDecimal* levels)
    : levels_(levels), count_(count), side_(side), config_(config) {
    // The smallest scale at which the minimum and the tick, hence every grid
    // price, are whole numbers of units.
    const uint32_t scale =
        std::max(config.tick_size.normalized().scale(), config.min_price.normalized().scale());
    const auto min = units_at(config.min_price, scale);
    const auto max = units_at(config.max_price, scale);
    const auto tick = units_at(config.tick_size, scale);
    if (!min || !max || !tick || *max > ExactDecimal::MAX_COEFFICIENT || *max < *min) return;
    const u128 span = *max - *min;
    if (span > U64_MAX) return;
    IntegerGrid grid{*min, 1, static_cast<uint64_t>(span), scale, true};
    if (count > 1) {
        // Confirm the integer form describes the same grid as the validation.
        if (*tick == 0 || *tick > span || span % *tick != 0 || span / *tick + 1 != count) return;
        grid.tick = static_cast<uint64_t>(*tick);
    } else if (span != 0) {
        return;
    }
    grid.narrow = *max <= U64_MAX;
    grid_ = grid;
}

size_t DenseBookSide::wide_index(const ExactDecimal& price) const {
    if (grid_.usable) return integer_index(price);
    return decimal_index(price);
}

size_t DenseBookSide::integer_index(const ExactDecimal& price) const {
    if (price.is_negative()) return NO_INDEX;
    u128 units = price.coefficient();
    const uint32_t scale = price.scale();
    if (scale > grid_.scale) {
        // More fraction digits than the grid: they must all be zero.
        const uint32_t excess = scale - grid_.scale;
        if (units <= U64_MAX && excess < 20) {
            const uint64_t narrow = static_cast<uint64_t>(units);
            const uint64_t divisor = static_cast<uint64_t>(POW10[excess]);
            if (narrow % divisor != 0) return NO_INDEX;
            units = narrow / divisor;
        } else {
            if (units % POW10[excess] != 0) return NO_INDEX;
            units /= POW10[excess];
        }
    } else if (scale < grid_.scale) {
        // Overflow here means the price is far above the grid.
        if (__builtin_mul_overflow(units, POW10[grid_.scale - scale], &units)) return NO_INDEX;
    }
    if (units < grid_.min) return NO_INDEX;
    const u128 offset = units - grid_.min;
    if (offset > grid_.span) return NO_INDEX;
    const uint64_t off = static_cast<uint64_t>(offset);
    if (grid_.tick == 1) return static_cast<size_t>(off);
    const uint64_t i = off / grid_.tick;
    if (i * grid_.tick != off) return NO_INDEX;
    return static_cast<size_t>(i);
}

size_t DenseBookSide::decimal_index(const ExactDecimal& price) const {
    if (price < config_.min_price || price > config_.max_price) return NO_INDEX;
    const auto rem = price.checked_rem(config_.tick_size);
    if (!rem || !rem->is_zero()) return NO_INDEX;
    const auto offset = price.checked_sub(config_.min_price);
    if (!offset) return NO_INDEX;
    const auto quotient = offset->checked_div(config_.tick_size);
    if (!quotient) return NO_INDEX;
    const auto i = quotient->to_u64();
    if (!i || *i >= count_) return NO_INDEX;
    return static_cast<size_t>(*i);
}

ExactDecimal DenseBookSide::decimal_price_at(size_t i) const {
    // The grid validation guarantees every grid price is representable.
    const auto step =
        config_.tick_size.checked_mul(ExactDecimal::from_integer(static_cast<int64_t>(i)));
    if (!step) die("dense grid price must be representable");
    const auto price = config_.min_price.checked_add(*step);
    if (!price) die("dense grid price must be representable");
    return *price;
}

void DenseBookSide::off_grid_mutation() { die("dense level must be validated before mutation"); }

void DenseBookSide::shrink_range() {
    const ExactDecimal* sizes = levels_.get();
    while (lo_ < hi_ && sizes[lo_].is_zero()) ++lo_;
    while (hi_ > lo_ && sizes[hi_].is_zero()) --hi_;
    if (sizes[lo_].is_zero()) occupied_ = false;
}

void DenseBookSide::clear() {
    // Everything outside the occupied range is already zero.
    if (occupied_) std::fill(levels_.get() + lo_, levels_.get() + hi_ + 1, ExactDecimal{});
    occupied_ = false;
    lo_ = hi_ = 0;
}

std::optional<ExactDecimal> DenseBookSide::size_at(const ExactDecimal& price) const {
    const size_t i = find_index(price);
    if (i == NO_INDEX) return std::nullopt;
    const ExactDecimal& size = levels_.get()[i];
    if (size.is_zero()) return std::nullopt;
    return size;
}

std::optional<ExactDecimal> DenseBookSide::sum_sizes_between(const ExactDecimal& from,
                                                             const ExactDecimal& to) const {
    SizeSum total;
    if (!occupied_) return total.value();
    const ExactDecimal* sizes = levels_.get();
    for (size_t i = lo_; i <= hi_; ++i) {
        if (sizes[i].is_zero()) continue;
        const ExactDecimal price = price_at(i);
        if (price < from) continue;
        if (price >= to) break;  // prices grow with the index
        if (!total.add(sizes[i])) return std::nullopt;
    }
    return total.value();
}

}  // namespace zelk
