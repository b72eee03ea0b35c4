#include "zelk/indicator_kind.hpp"

#include <array>

namespace zelk {

namespace {

// Rows 2-5 and 14-19 write "order-book" with a hyphen, rows 6-13 without.
constexpr std::array<std::string_view, INDICATOR_KIND_COUNT> NAMES = {
    "context",
    "field",
    "order-book best bid price",
    "order-book best bid size",
    "order-book best ask price",
    "order-book best ask size",
    "order book level size",
    "order book nth price",
    "order book nth size",
    "order book depth until price",
    "order book depth until size price from",
    "order book depth until size price to",
    "order book depth until size total size",
    "order book volume between prices",
    "order-book mid-price",
    "order-book spread",
    "order-book spread in basis points",
    "order-book weighted mid-price",
    "order-book microprice",
    "order-book imbalance",
    "SMA",
    "EMA",
    "CVD",
    "simple return",
    "log return",
    "rolling volatility",
    "timed SMA",
    "timed OBV",
    "timed rolling volatility",
    "VPT",
    "timed trade count",
    "timed trade volume",
    "timed VWAP",
    "day of week",
    "time since first event of day",
};

}  // namespace

std::string_view display_name(IndicatorKind kind) { return NAMES[static_cast<size_t>(kind)]; }

}  // namespace zelk
