// Allocating an indicator's shared window buffer from a capacity that
// ultimately comes from user input (a window or lag length), and building the
// buffer and per-window state of the indicators whose windows count samples.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "zelk/error.hpp"
#include "zelk/indicators/window_array.hpp"
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

// The shared sample buffer of a sample-window indicator and one Window per
// period: a value-initialised Window with its `period` member set.
template <typename Sample, typename Window>
struct SampleWindows {
    HeapRingBuffer<Sample> buffer;
    WindowArray<Window> windows;
};

// One window per entry of `periods` (in samples), in that order; the buffer
// holds the largest period. Errors: an empty list or a largest period of 0
// (RingBufferCapacityZero); then per period in order a 17th
// (WindowLimitReached), 0 (WindowPeriodZero), or one beyond the capacity
// (WindowPeriodExceedsCapacity); last a buffer that cannot be allocated
// (WindowPeriodOutOfRange, usize).
template <typename Sample, typename Window>
Result<SampleWindows<Sample, Window>> create_sample_windows(std::span<const uint64_t> periods) {
    const uint64_t capacity =
        periods.empty() ? 0 : *std::max_element(periods.begin(), periods.end());
    if (capacity == 0) return std::unexpected(ZelkError{arg::RingBufferCapacityZero{}});
    WindowArray<Window> windows;
    for (const uint64_t period : periods) {
        if (windows.full()) return std::unexpected(ZelkError{arg::WindowLimitReached{MAX_WINDOWS}});
        if (period == 0) return std::unexpected(ZelkError{arg::WindowPeriodZero{}});
        if (period > capacity) {
            return std::unexpected(ZelkError{arg::WindowPeriodExceedsCapacity{period, capacity}});
        }
        Window window{};
        window.period = period;
        windows.push_back(window);
    }
    auto buffer = allocate_window_buffer<Sample>(capacity);
    if (!buffer) return std::unexpected(std::move(buffer.error()));
    return SampleWindows<Sample, Window>{std::move(*buffer), windows};
}

}  // namespace zelk
