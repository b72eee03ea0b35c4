// Small value types shared by the whole core: timestamps, event kinds, trade
// sides and warm-up policies.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace zelk {

// Milliseconds since the Unix epoch, UTC. Negative values are legal.
using Timestamp = int64_t;

// Handle into the process-wide symbol interner (see symbols.hpp). Id 0 is the
// global scope "__global__": the symbol of clock ticks, shared context values
// and clock features.
struct Symbol {
    uint16_t id = 0;

    static constexpr Symbol global() { return Symbol{0}; }
    constexpr bool is_global() const { return id == 0; }
    friend constexpr bool operator==(Symbol, Symbol) = default;
    friend constexpr auto operator<=>(Symbol, Symbol) = default;
};

// The ordinal is used as an index by the event router; keep the order.
enum class EventKind : uint8_t {
    Price = 0,
    Volume = 1,
    Trade = 2,
    OrderBookDelta = 3,
    OrderBookSnapshot = 4,
    Time = 5,
};
inline constexpr int EVENT_KIND_COUNT = 6;

// "price", "volume", "trade", "order book delta", "order book snapshot", "time".
std::string_view display_name(EventKind kind);

// The aggressor of a trade; a trade may carry none.
enum class AggressorSide : uint8_t { Buy = 0, Sell = 1 };

// When a windowed indicator starts reporting.
enum class WarmupPolicy : uint8_t { FirstValue = 0, FullWindow = 1 };

// "first_value" / "full_window": the JSON and feature-ID text.
constexpr std::string_view to_string(WarmupPolicy policy) {
    return policy == WarmupPolicy::FirstValue ? "first_value" : "full_window";
}
constexpr std::optional<WarmupPolicy> parse_warmup_policy(std::string_view text) {
    if (text == "first_value") return WarmupPolicy::FirstValue;
    if (text == "full_window") return WarmupPolicy::FullWindow;
    return std::nullopt;
}

// Floor division for day numbers and bucket starts (rounds toward -inf).
constexpr int64_t floor_div(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

}  // namespace zelk
