#include "zelk/order_book/dense_book_config.hpp"

#include <limits>

namespace zelk {

std::expected<uint64_t, OrderBookUpdateError> DenseBookConfig::level_count() const {
    const auto invalid = [this] {
        return std::unexpected(
            OrderBookUpdateError{InvalidDenseConfiguration{tick_size, min_price, max_price}});
    };
    if (!tick_size.is_positive()) return invalid();
    if (min_price.is_negative()) return invalid();
    if (max_price < min_price) return invalid();

    const auto min_rem = min_price.checked_rem(tick_size);
    if (!min_rem || !min_rem->is_zero()) return invalid();
    const auto max_rem = max_price.checked_rem(tick_size);
    if (!max_rem || !max_rem->is_zero()) return invalid();

    const auto span = max_price.checked_sub(min_price);
    if (!span) return invalid();
    const auto quotient = span->checked_div(tick_size);
    if (!quotient) return invalid();
    const auto steps = quotient->to_u64();
    // steps + 1 must fit as well.
    if (!steps || *steps == std::numeric_limits<uint64_t>::max()) return invalid();
    if (*steps == 0) return 1;

    // Refuse grids whose highest prices differ by less than the decimal
    // precision can express: the step below the top must come back exactly.
    const auto below_top = max_price.checked_sub(tick_size);
    if (!below_top) return invalid();
    const auto top_step = max_price.checked_sub(*below_top);
    if (!top_step || *top_step != tick_size) return invalid();
    return *steps + 1;
}

}  // namespace zelk
