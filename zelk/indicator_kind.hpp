// One value per feature kind; names the indicator inside definition errors.
#pragma once

#include <cstdint>
#include <string_view>

namespace zelk {

enum class IndicatorKind : uint8_t {
    Context,
    Field,
    OrderBookBestBidPrice,
    OrderBookBestBidSize,
    OrderBookBestAskPrice,
    OrderBookBestAskSize,
    OrderBookLevelSize,
    OrderBookNthPrice,
    OrderBookNthSize,
    OrderBookDepthUntilPrice,
    OrderBookDepthUntilSizePriceFrom,
    OrderBookDepthUntilSizePriceTo,
    OrderBookDepthUntilSizeTotalSize,
    OrderBookVolumeBetweenPrices,
    OrderBookMidPrice,
    OrderBookSpread,
    OrderBookSpreadBps,
    OrderBookWeightedMidPrice,
    OrderBookMicroprice,
    OrderBookImbalance,
    Sma,
    Ema,
    Cvd,
    SimpleReturn,
    LogReturn,
    Volatility,
    SmaTimed,
    ObvTimed,
    VolatilityTimed,
    Vpt,
    TradeCountTimed,
    TradeVolumeTimed,
    VwapTimed,
    DayOfWeek,
    TimeSinceFirstEventOfDay,
};

inline constexpr int INDICATOR_KIND_COUNT = 35;

// The display text used in messages ("timed SMA", "order-book mid-price", ...).
std::string_view display_name(IndicatorKind kind);

}  // namespace zelk
