// DenseBookConfig: the fixed price grid of a dense book.
//
// The grid prices are min_price, min_price + tick_size, ..., max_price. A
// config is plain data; level_count() is the single validation, used both when
// a spec is assembled and when a dense side is created, so no book is ever
// built from an invalid grid.
#pragma once

#include <cstdint>
#include <expected>

#include "zelk/order_book/exact_decimal.hpp"
#include "zelk/order_book/order_book_update_error.hpp"

namespace zelk {

struct DenseBookConfig {
    ExactDecimal tick_size;
    ExactDecimal min_price;
    ExactDecimal max_price;

    // The number of grid prices (at least 1), or InvalidDenseConfiguration
    // carrying the three configured values when the tick is not positive, the
    // minimum is negative, the range is inverted, either bound is off the
    // tick, the step count does not fit 64 bits, or the top of the grid is
    // finer than the decimal precision can resolve.
    std::expected<uint64_t, OrderBookUpdateError> level_count() const;

    friend bool operator==(const DenseBookConfig&, const DenseBookConfig&) = default;
};

}  // namespace zelk
