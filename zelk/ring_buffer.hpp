// HeapRingBuffer<T>: a bounded FIFO over one contiguous heap block.
//
// Logical index 0 is the oldest element, len() - 1 the newest. push_back on a
// full buffer evicts and returns the oldest element so callers can correct
// their running sums. Nothing allocates after construction; every operation
// is O(1). Not thread-safe; owned by one indicator.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>

namespace zelk {

template <typename T>
class HeapRingBuffer {
public:
    // REQUIRES: capacity > 0. Callers taking a capacity from user input check
    // it first and report RingBufferCapacityZero.
    explicit HeapRingBuffer(size_t capacity)
        : storage_(capacity > 0 ? std::make_unique<T[]>(capacity) : nullptr), capacity_(capacity) {
        if (capacity == 0) {
            std::fputs("Ring buffer size must be greater than 0\n", stderr);
            std::abort();
        }
    }

    // A buffer of `capacity` elements, or nullopt when capacity is 0 or the
    // storage cannot be obtained (a window too large for memory must be a
    // refusal, not a crash).
    static std::optional<HeapRingBuffer> try_new(size_t capacity) {
        // Array new refuses sizes beyond PTRDIFF_MAX by throwing even in its
        // nothrow form, so those are refused here.
        if (capacity == 0 || capacity > PTRDIFF_MAX / sizeof(T)) return std::nullopt;
        // Default-initialised: slots are written before they are read, and an
        // untouched block costs no resident memory.
        std::unique_ptr<T[]> storage(new (std::nothrow) T[capacity]);
        if (!storage) return std::nullopt;
        return HeapRingBuffer(std::move(storage), capacity);
    }

    HeapRingBuffer(const HeapRingBuffer& other)
        : storage_(std::make_unique<T[]>(other.capacity_)),
          capacity_(other.capacity_),
          head_(other.head_),
          len_(other.len_) {
        for (size_t i = 0; i < capacity_; ++i) storage_[i] = other.storage_[i];
    }
    HeapRingBuffer& operator=(const HeapRingBuffer& other) {
        if (this != &other) *this = HeapRingBuffer(other);
        return *this;
    }
    HeapRingBuffer(HeapRingBuffer&&) noexcept = default;
    HeapRingBuffer& operator=(HeapRingBuffer&&) noexcept = default;

    // Appends `value`; when the buffer was full, returns the evicted oldest.
    std::optional<T> push_back(const T& value) {
        if (len_ < capacity_) {
            storage_[slot(len_)] = value;
            ++len_;
            return std::nullopt;
        }
        T evicted = storage_[head_];
        storage_[head_] = value;
        head_ = head_ + 1 == capacity_ ? 0 : head_ + 1;
        return evicted;
    }

    // Removes the newest element. REQUIRES: !empty().
    void pop_back() { --len_; }

    size_t len() const { return len_; }
    bool empty() const { return len_ == 0; }
    size_t capacity() const { return capacity_; }
    // REQUIRES: i < len(). Index 0 is the oldest element.
    const T& get(size_t i) const { return storage_[slot(i)]; }
    T& get(size_t i) { return storage_[slot(i)]; }
    // REQUIRES: !empty().
    const T& back() const { return storage_[slot(len_ - 1)]; }
    T& back() { return storage_[slot(len_ - 1)]; }

private:
    HeapRingBuffer(std::unique_ptr<T[]> storage, size_t capacity)
        : storage_(std::move(storage)), capacity_(capacity) {}

    size_t slot(size_t i) const {
        const size_t s = head_ + i;
        return s >= capacity_ ? s - capacity_ : s;
    }

    std::unique_ptr<T[]> storage_;
    size_t capacity_;
    size_t head_ = 0;
    size_t len_ = 0;
};

}  // namespace zelk
