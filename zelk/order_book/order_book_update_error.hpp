// Why an order-book update was refused. Seven cases with fixed messages;
// decimals print in their plain text form.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "zelk/order_book/exact_decimal.hpp"
#include "zelk/order_book/side.hpp"

namespace zelk {

struct SequenceGap {
    uint64_t expected;
    uint64_t received;
    friend bool operator==(const SequenceGap&, const SequenceGap&) = default;
};
struct SnapshotHistoryGap {
    uint64_t snapshot_update_id;
    uint64_t expected_next_id;
    uint64_t received;
    friend bool operator==(const SnapshotHistoryGap&, const SnapshotHistoryGap&) = default;
};
struct BufferCapacityExceeded {
    uint64_t capacity;
    friend bool operator==(const BufferCapacityExceeded&, const BufferCapacityExceeded&) = default;
};
struct StaleSnapshot {
    uint64_t current_snapshot_update_id;
    uint64_t received_snapshot_update_id;
    friend bool operator==(const StaleSnapshot&, const StaleSnapshot&) = default;
};
struct InvalidDenseConfiguration {
    ExactDecimal tick_size;
    ExactDecimal min_price;
    ExactDecimal max_price;
    friend bool operator==(const InvalidDenseConfiguration&,
                           const InvalidDenseConfiguration&) = default;
};
struct DenseCapacityExceeded {
    friend bool operator==(const DenseCapacityExceeded&, const DenseCapacityExceeded&) = default;
};
struct InvalidUpdate {
    Side side;
    ExactDecimal price;
    ExactDecimal size;
    friend bool operator==(const InvalidUpdate&, const InvalidUpdate&) = default;
};

struct OrderBookUpdateError {
    std::variant<SequenceGap, SnapshotHistoryGap, BufferCapacityExceeded, StaleSnapshot,
                 InvalidDenseConfiguration, DenseCapacityExceeded, InvalidUpdate>
        value;
    friend bool operator==(const OrderBookUpdateError&, const OrderBookUpdateError&) = default;
};

// The message without the "order-book update failed: " prefix.
std::string to_string(const OrderBookUpdateError& error);

}  // namespace zelk
