// WindowArray<T>: the per-window state of one indicator, in a fixed array.
//
// An indicator serves at most MAX_WINDOWS windows (or lags); their state lives
// inline so that updating them never touches the heap. Windows keep the order
// in which they were added.
#pragma once

#include <array>
#include <cstddef>

namespace zelk {

inline constexpr size_t MAX_WINDOWS = 16;

template <typename T>
class WindowArray {
public:
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    bool full() const { return size_ == MAX_WINDOWS; }

    // REQUIRES: !full().
    void push_back(const T& item) { items_[size_++] = item; }

    // REQUIRES: i < size().
    T& operator[](size_t i) { return items_[i]; }
    const T& operator[](size_t i) const { return items_[i]; }

    T* begin() { return items_.data(); }
    T* end() { return items_.data() + size_; }
    const T* begin() const { return items_.data(); }
    const T* end() const { return items_.data() + size_; }

private:
    std::array<T, MAX_WINDOWS> items_{};
    size_t size_ = 0;
};

}  // namespace zelk
