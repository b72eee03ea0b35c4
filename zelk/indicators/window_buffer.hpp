// Allocating an indicator's shared window buffer from a capacity that
// ultimately comes from user input (a window or lag length).
#pragma once

#include <cstddef>

#include "zelk/error.hpp"
#include "zelk/ring_buffer.hpp"

namespace zelk {

// A ring buffer of `capacity` elements. A capacity the process cannot hold
// is refused with WindowPeriodOutOfRange (usize) instead of failing the
// allocation. REQUIRES: capacity > 0 (callers report RingBufferCapacityZero).
template <typename T>
Result<HeapRingBuffer<T>> allocate_window_buffer(size_t capacity) {
    auto buffer = HeapRingBuffer<T>::try_new(capacity);
    if (!buffer) {
        return std::unexpected(ZelkError{arg::WindowPeriodOutOfRange{PeriodWidth::Usize}});
    }
    return std::move(*buffer);
}

}  // namespace zelk
