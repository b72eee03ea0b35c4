#include "zelk/indicators/returns.hpp"

#include "zelk/indicators/window_buffer.hpp"

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
    auto history = allocate_window_buffer<double>(capacity);
    if (!history) return std::unexpected(std::move(history.error()));
    return Returns(kind, std::move(*history), states);
}

double Returns::log_or_nan(double x) { return x > 0.0 ? std::log(x) : NaN; }

}  // namespace zelk
