// The two sides of an order book.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace zelk {

enum class Side : uint8_t { Bid = 0, Ask = 1 };

// "Bid" / "Ask": the text used inside error messages.
constexpr std::string_view debug_name(Side side) { return side == Side::Bid ? "Bid" : "Ask"; }
// "bid" / "ask": the text users write (Python arguments, JSON, feature IDs).
constexpr std::string_view external_name(Side side) { return side == Side::Bid ? "bid" : "ask"; }
// Exact, case-sensitive match of the external text.
constexpr std::optional<Side> parse_side(std::string_view text) {
    if (text == "bid") return Side::Bid;
    if (text == "ask") return Side::Ask;
    return std::nullopt;
}

}  // namespace zelk
