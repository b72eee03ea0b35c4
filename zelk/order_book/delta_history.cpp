#include "zelk/order_book/delta_history.hpp"

#include <algorithm>
#include <new>
#include <utility>

namespace zelk {

DeltaHistory::DeltaHistory(size_t capacity) : capacity_(capacity), limit_(capacity) {
    const size_t reserve = std::min(capacity, RESERVE_LIMIT);
    if (reserve == 0) return;
    slots_.reset(new (std::nothrow) OrderBookDelta[reserve]);
    if (slots_ == nullptr) {
        limit_ = 0;
        return;
    }
    slot_count_ = reserve;
}

void DeltaHistory::push_back(OrderBookDelta&& delta) {
    slots_[slot(len_)] = std::move(delta);
    ++len_;
    // Grow now rather than at the next push, so that full() already tells the
    // book whether one more entry fits.
    if (len_ == slot_count_ && len_ < limit_) grow();
}

void DeltaHistory::grow() {
    const size_t target = slot_count_ > capacity_ / 2 ? capacity_ : slot_count_ * 2;
    std::unique_ptr<OrderBookDelta[]> bigger(new (std::nothrow) OrderBookDelta[target]);
    if (bigger == nullptr) {
        limit_ = len_;
        return;
    }
    for (size_t i = 0; i < len_; ++i) bigger[i] = std::move(slots_[slot(i)]);
    slots_ = std::move(bigger);
    slot_count_ = target;
    head_ = 0;
}

void DeltaHistory::drop_through(uint64_t update_id) {
    while (len_ > 0 && slots_[head_].update_id <= update_id) {
        slots_[head_] = OrderBookDelta{};
        head_ = head_ + 1 == slot_count_ ? 0 : head_ + 1;
        --len_;
    }
    if (len_ == 0) head_ = 0;
    // Room was freed: a growth that failed earlier may be tried again.
    if (len_ < slot_count_) limit_ = capacity_;
}

}  // namespace zelk
