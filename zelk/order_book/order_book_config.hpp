// OrderBookConfig: how one symbol's order book is built and sequenced.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string_view>

#include "zelk/order_book/dense_book_config.hpp"
#include "zelk/order_book/order_book_update_error.hpp"

namespace zelk {

class OrderBook;

// How strictly consecutive deltas must be numbered.
enum class UpdatePolicy : uint8_t {
    Monotonic = 0,   // each delta newer than the last; gaps are accepted
    Contiguous = 1,  // each delta exactly the previous update ID + 1
};

// "monotonic" / "contiguous": the Python argument and JSON text.
constexpr std::string_view to_string(UpdatePolicy policy) {
    return policy == UpdatePolicy::Monotonic ? "monotonic" : "contiguous";
}
constexpr std::optional<UpdatePolicy> parse_update_policy(std::string_view text) {
    if (text == "monotonic") return UpdatePolicy::Monotonic;
    if (text == "contiguous") return UpdatePolicy::Contiguous;
    return std::nullopt;
}

struct OrderBookConfig {
    // Capacity of the delta history: the most deltas kept between snapshots.
    size_t buffer_size = 0;
    // The price grid of a dense book; none for a sparse book.
    std::optional<DenseBookConfig> dense;
    UpdatePolicy update_policy = UpdatePolicy::Monotonic;

    // An empty book. A dense config builds both sides over its grid (bids
    // first) and fails with InvalidDenseConfiguration or
    // DenseCapacityExceeded; a sparse config cannot fail.
    // (Defined in book.cpp; include book.hpp to call it.)
    std::expected<OrderBook, OrderBookUpdateError> build() const;

    friend bool operator==(const OrderBookConfig&, const OrderBookConfig&) = default;
};

}  // namespace zelk
