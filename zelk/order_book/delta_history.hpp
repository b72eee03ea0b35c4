// DeltaHistory: the bounded FIFO of deltas an order book keeps since its
// last snapshot.
//
// Entries are owned and in arrival order (oldest first); the book keeps their
// update IDs strictly increasing. Deltas move in without copying their change
// lists. Room for min(capacity, RESERVE_LIMIT) entries is reserved up front;
// beyond that the ring doubles as it fills, up to the capacity. A capacity is
// user configuration and may be absurd (2^60), so no allocation is ever made
// for room that is not about to be used, and every allocation is
// non-throwing: when memory for growth cannot be obtained, the history simply
// counts as full at its current size (the book then refuses further deltas as
// a capacity overflow). Not thread-safe; owned by one book.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "zelk/order_book/order_book_update.hpp"

namespace zelk {

class DeltaHistory {
public:
    // Entries reserved when the history is created, at most.
    static constexpr size_t RESERVE_LIMIT = 4096;

    // An empty history for at most `capacity` entries.
    explicit DeltaHistory(size_t capacity);

    DeltaHistory(DeltaHistory&&) noexcept = default;
    DeltaHistory& operator=(DeltaHistory&&) noexcept = default;

    size_t size() const { return len_; }
    bool empty() const { return len_ == 0; }
    // The configured capacity.
    size_t capacity() const { return capacity_; }
    // True when no further entry can be appended: the capacity is reached, or
    // memory to grow beyond the current size could not be obtained.
    bool full() const { return len_ >= limit_; }

    // REQUIRES: i < size(). Index 0 is the oldest entry.
    const OrderBookDelta& operator[](size_t i) const { return slots_[slot(i)]; }
    // REQUIRES: !empty().
    const OrderBookDelta& back() const { return slots_[slot(len_ - 1)]; }

    // Appends `delta` as the newest entry. REQUIRES: !full().
    void push_back(OrderBookDelta&& delta);

    // Removes the leading entries whose update_id <= `update_id` (all of them
    // that are, since IDs increase from front to back), freeing their lists.
    void drop_through(uint64_t update_id);

private:
    size_t slot(size_t i) const {
        const size_t s = head_ + i;
        return s >= slot_count_ ? s - slot_count_ : s;
    }
    // Doubles the ring (up to the capacity); on failure caps the history at
    // its current size.
    void grow();

    std::unique_ptr<OrderBookDelta[]> slots_;
    size_t slot_count_ = 0;
    size_t head_ = 0;
    size_t len_ = 0;
    size_t capacity_;
    size_t limit_;
};

}  // namespace zelk
