// Returns: simple or log returns between the newest input and the input L
// inputs earlier, for up to 16 lags over one shared history.
//
// A lag L reports as soon as L + 1 inputs exist; there is no warm-up policy.
// In log form the history stores ln(x) (NaN for x <= 0), so an update takes
// one logarithm whatever the number of lags, and a zero or negative value on
// either side yields NaN. Updates are O(1) and never allocate; values are
// O(1) per lag. Not thread-safe.
#pragma once

#include <cstdint>
#include <limits>
#include <span>

#include "zelk/error.hpp"
#include "zelk/indicators/window_array.hpp"
#include "zelk/ring_buffer.hpp"

namespace zelk {

enum class ReturnKind : uint8_t { Simple, Log };

class Returns {
public:
    // One output per entry of `lags`, in that order; the history holds the
    // largest lag + 1 inputs. Errors: a largest lag at the unsigned maximum
    // (WindowPeriodOutOfRange, usize: its history would not fit); then per
    // lag in order a 17th (WindowLimitReached), 0 (WindowPeriodZero), or one
    // at or beyond the capacity (WindowPeriodMustBeLessThanCapacity); last a
    // history that cannot be allocated (WindowPeriodOutOfRange, usize).
    static Result<Returns> create(ReturnKind kind, std::span<const uint64_t> lags);

    // Feeds one input.
    void update(double x) { history_.push_back(kind_ == ReturnKind::Log ? log_or_nan(x) : x); }

    size_t lag_count() const { return lags_.size(); }
    ReturnKind kind() const { return kind_; }
    // The return over lag `i`: simple (new - old) / old, NaN when old is 0.0;
    // log ln(new) - ln(old), NaN unless both are positive; NaN while fewer
    // than lag + 1 inputs exist.
    double value(size_t i) const {
        const uint64_t lag = lags_[i];
        const size_t len = history_.len();
        if (lag >= len) return std::numeric_limits<double>::quiet_NaN();
        const double newest = history_.back();
        const double old = history_.get(len - 1 - lag);
        // In log form a side that was not positive is stored as NaN.
        if (kind_ == ReturnKind::Log) return newest - old;
        return old != 0.0 ? (newest - old) / old : std::numeric_limits<double>::quiet_NaN();
    }

private:
    Returns(ReturnKind kind, HeapRingBuffer<double> history, WindowArray<uint64_t> lags)
        : history_(std::move(history)), lags_(lags), kind_(kind) {}

    static double log_or_nan(double x);

    HeapRingBuffer<double> history_;
    WindowArray<uint64_t> lags_;
    ReturnKind kind_;
};

}  // namespace zelk
