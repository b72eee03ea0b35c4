// FeatureDerivation: the closed set of runtime derivations.
//
// One alternative per derivation kind; the extractor dispatches with
// std::visit, so there is no virtual call and no allocation per event. Each
// alternative offers
//     void update(const Event&, size_t first, size_t count, OutputSink&)
// which decides from the event whether it concerns the derivation, updates
// its state and writes its cells through the sink.
#pragma once

#include <variant>

#include "zelk/features/derivation/cvd.hpp"
#include "zelk/features/derivation/day_of_week.hpp"
#include "zelk/features/derivation/field.hpp"
#include "zelk/features/derivation/obv_timed.hpp"
#include "zelk/features/derivation/order_book.hpp"
#include "zelk/features/derivation/returns.hpp"
#include "zelk/features/derivation/sma_timed.hpp"
#include "zelk/features/derivation/time_since_first_event_of_day.hpp"
#include "zelk/features/derivation/trade_count_timed.hpp"
#include "zelk/features/derivation/trade_volume_timed.hpp"
#include "zelk/features/derivation/volatility.hpp"
#include "zelk/features/derivation/volatility_timed.hpp"
#include "zelk/features/derivation/vpt.hpp"
#include "zelk/features/derivation/vwap_timed.hpp"

namespace zelk {

using FeatureDerivation =
    std::variant<FieldDerivation, DayOfWeekDerivation, ReturnsDerivation, VolatilityDerivation,
                 CvdDerivation, VptDerivation, SmaTimedDerivation, VolatilityTimedDerivation,
                 ObvTimedDerivation, TradeVolumeTimedDerivation, VwapTimedDerivation,
                 TradeCountTimedDerivation, TimeSinceFirstEventOfDayDerivation,
                 OrderBookDerivation>;

// The book derivation, when this derivation is evaluated against an order
// book after a commit instead of through ordinary dispatch; else nullptr.
inline const OrderBookDerivation* as_order_book_derivation(const FeatureDerivation& d) {
    return std::get_if<OrderBookDerivation>(&d);
}
inline OrderBookDerivation* as_order_book_derivation(FeatureDerivation& d) {
    return std::get_if<OrderBookDerivation>(&d);
}

}  // namespace zelk
