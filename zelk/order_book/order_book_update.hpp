// The payloads of order-book events: snapshots and deltas with their
// exchange update IDs. Events own them; the book consumes them by move.
#pragma once

#include <cstdint>
#include <variant>
#include <vector>

#include "zelk/order_book/exact_decimal.hpp"
#include "zelk/order_book/side.hpp"

namespace zelk {

// One resting level of a snapshot: price and size.
struct Level {
    ExactDecimal price;
    ExactDecimal size;
    friend bool operator==(const Level&, const Level&) = default;
};

// One change of a delta. A zero size deletes the level at that price; a
// positive size replaces the size there.
struct LevelChange {
    ExactDecimal price;
    ExactDecimal size;
    Side side;
    friend bool operator==(const LevelChange&, const LevelChange&) = default;
};

struct OrderBookSnapshot {
    std::vector<Level> bids;
    std::vector<Level> asks;
    uint64_t update_id = 0;
};

struct OrderBookDelta {
    std::vector<LevelChange> changes;
    uint64_t update_id = 0;
};

// What the book consumes: a snapshot or a delta.
using OrderBookUpdate = std::variant<OrderBookSnapshot, OrderBookDelta>;

}  // namespace zelk
