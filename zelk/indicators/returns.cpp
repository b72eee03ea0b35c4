#include "zelk/indicators/returns.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zelk {

namespace {
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
}  // namespace

Result<Returns> Returns::create(ReturnKind kind, std::span<const uint64_t> lags) {
    const uint64_t largest = lags.empty() ? 0 : *std::max_element(lags.begin(), lags.end());
    if (largest == std::numeric_limits<uint64_t>::max()) {
        return std::unexpected(ZelkError{arg::WindowPeriodOutOfRange{PeriodWidth::Usize}});
    }
    const uint64_t capacity = largest + 1;
    WindowArray<uint64_t> states;
    for (const uint64_t lag : lags) {
        if (states.full()) return std::unexpected(ZelkError{arg::WindowLimitReached{MAX_WINDOWS}});
        if (lag == 0) return std::unexpected(ZelkError{arg::WindowPeriodZero{}});
        if (lag >= capacity) {
            return std::unexpected(
                ZelkError{arg::WindowPeriodMustBeLessThanCapacity{lag, capacity}});
        }
        states.push_back(lag);
    }
    return Returns(kind, capacity, states);
}

double Returns::log_or_nan(double x) { return x > 0.0 ? std::log(x) : NaN; }

double Returns::value(size_t i) const {
    const uint64_t lag = lags_[i];
    const size_t len = history_.len();
    if (lag >= len) return NaN;
    const double newest = history_.back();
    const double old = history_.get(len - 1 - lag);
    if (kind_ == ReturnKind::Log) return newest - old;  // NaN when either side was not positive
    return old != 0.0 ? (newest - old) / old : NaN;
}

}  // namespace zelk
