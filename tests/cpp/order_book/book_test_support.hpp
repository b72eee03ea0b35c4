// Small builders shared by the order-book tests.
#pragma once

#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "zelk/order_book/book.hpp"
#include "zelk/order_book/exact_decimal.hpp"
#include "zelk/order_book/queries.hpp"

namespace zelk::testing {

// Parses a decimal literal; a bad literal is a broken test and throws.
inline ExactDecimal dec(std::string_view text) { return ExactDecimal::parse(text).value(); }

inline Level lvl(std::string_view price, std::string_view size) {
    return Level{dec(price), dec(size)};
}
inline LevelChange bid(std::string_view price, std::string_view size) {
    return LevelChange{dec(price), dec(size), Side::Bid};
}
inline LevelChange ask(std::string_view price, std::string_view size) {
    return LevelChange{dec(price), dec(size), Side::Ask};
}

inline OrderBookUpdate snapshot(uint64_t id, std::vector<Level> bids = {},
                                std::vector<Level> asks = {}) {
    return OrderBookSnapshot{std::move(bids), std::move(asks), id};
}
inline OrderBookUpdate delta(uint64_t id, std::vector<LevelChange> changes = {}) {
    return OrderBookDelta{std::move(changes), id};
}

// prepare_update then commit_update, as the extractor does.
inline std::expected<UpdateOutcome, OrderBookUpdateError> apply(OrderBook& book,
                                                                OrderBookUpdate update) {
    const PreparedUpdate prepared =
        std::visit([&](const auto& payload) { return book.prepare_update(payload); }, update);
    return book.commit_update(prepared, std::move(update));
}

// Every level of a side, best first.
inline std::vector<Level> levels_of(const OrderBook& book, Side side) {
    return top_n(book, side, static_cast<size_t>(-1));
}

inline OrderBook sparse_book(size_t buffer_size, UpdatePolicy policy) {
    return OrderBookConfig{buffer_size, std::nullopt, policy}.build().value();
}
inline OrderBook dense_book(size_t buffer_size, UpdatePolicy policy, std::string_view tick,
                           std::string_view min_price, std::string_view max_price) {
    return OrderBookConfig{buffer_size, DenseBookConfig{dec(tick), dec(min_price), dec(max_price)},
                           policy}
        .build()
        .value();
}

}  // namespace zelk::testing
