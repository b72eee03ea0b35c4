#include "zelk/features/feature_id.hpp"

#include <fmt/format.h>

#include "zelk/symbols.hpp"

namespace zelk {

std::string_view kind_text(FeatureKind kind, bool log) {
    switch (kind) {
        case FeatureKind::Context: return "context";
        case FeatureKind::OrderBookLevelSize: return "order_book_level_size";
        case FeatureKind::OrderBookNthPrice: return "order_book_nth_price";
        case FeatureKind::OrderBookNthSize: return "order_book_nth_size";
        case FeatureKind::OrderBookDepthUntilPrice: return "order_book_depth_until_price";
        case FeatureKind::OrderBookDepthUntilSizePriceFrom:
            return "order_book_depth_until_size_price_from";
        case FeatureKind::OrderBookDepthUntilSizePriceTo:
            return "order_book_depth_until_size_price_to";
        case FeatureKind::OrderBookDepthUntilSizeTotalSize:
            return "order_book_depth_until_size_total_size";
        case FeatureKind::OrderBookVolumeBetweenPrices: return "order_book_volume_between_prices";
        case FeatureKind::OrderBookBestBidPrice: return "order_book_best_bid_price";
        case FeatureKind::OrderBookBestBidSize: return "order_book_best_bid_size";
        case FeatureKind::OrderBookBestAskPrice: return "order_book_best_ask_price";
        case FeatureKind::OrderBookBestAskSize: return "order_book_best_ask_size";
        case FeatureKind::OrderBookMidPrice: return "order_book_mid_price";
        case FeatureKind::OrderBookSpread: return "order_book_spread";
        case FeatureKind::OrderBookSpreadBps: return "order_book_spread_bps";
        case FeatureKind::OrderBookWeightedMidPrice: return "order_book_weighted_mid_price";
        case FeatureKind::OrderBookMicroprice: return "order_book_microprice";
        case FeatureKind::OrderBookImbalance: return "order_book_imbalance";
        case FeatureKind::Field: return "field";
        case FeatureKind::Cvd: return "cvd";
        case FeatureKind::Returns: return log ? "log_return" : "simple_return";
        case FeatureKind::Volatility: return "volatility";
        case FeatureKind::SmaTimed: return "sma_timed";
        case FeatureKind::VolatilityTimed: return "volatility_timed";
        case FeatureKind::ObvTimed: return "obv_timed";
        case FeatureKind::Vpt: return "vpt";
        case FeatureKind::TradeCountTimed: return "trade_count_timed";
        case FeatureKind::TradeVolumeTimed: return "trade_volume_timed";
        case FeatureKind::VwapTimed: return "vwap_timed";
        case FeatureKind::DayOfWeek: return "day_of_week";
        case FeatureKind::TimeSinceFirstEventOfDay: return "time_since_first_event_of_day";
    }
    return "";
}

namespace {

std::string source_text(const FeatureKey& key) {
    if (key.kind == FeatureKind::Context) return "context";
    if (is_order_book_kind(key.kind)) return "order_book";
    if (key.kind == FeatureKind::Field) return "field." + std::string(to_string(key.field));
    return to_string(key.source);
}

// Total nanoseconds in 128 bits. The largest duration is below 2^94, so it
// always fits an exact decimal coefficient, which prints it.
std::string nanos_text(Duration d) {
    const u128 total = static_cast<u128>(d.seconds) * 1'000'000'000u + d.nanos;
    return ExactDecimal::from_parts(total, 0, false)->to_string();
}

}  // namespace

FeatureId feature_id_from_key(const FeatureKey& key) {
    const std::string name = resolve_as_string(key.symbol);
    std::string id = fmt::format("{}:symbol={}:{}:source={}", kind_text(key), name.size(), name,
                                 source_text(key));
    const std::string_view side = external_name(key.side);
    switch (key.kind) {
        case FeatureKind::Context:
            id += fmt::format(":name={}:{}", key.name.size(), key.name);
            break;
        case FeatureKind::OrderBookLevelSize:
        case FeatureKind::OrderBookDepthUntilPrice:
            id += fmt::format(":side={}:price={}", side, key.price.to_normalized_string());
            break;
        case FeatureKind::OrderBookNthPrice:
        case FeatureKind::OrderBookNthSize:
            id += fmt::format(":side={}:n_levels={}", side, key.n_levels);
            break;
        case FeatureKind::OrderBookDepthUntilSizePriceFrom:
        case FeatureKind::OrderBookDepthUntilSizePriceTo:
        case FeatureKind::OrderBookDepthUntilSizeTotalSize:
            id += fmt::format(":side={}:size={}", side, key.size.to_normalized_string());
            break;
        case FeatureKind::OrderBookVolumeBetweenPrices:
            id += fmt::format(":side={}:from_price={}:to_price={}", side,
                              key.price.to_normalized_string(),
                              key.price_to.to_normalized_string());
            break;
        case FeatureKind::OrderBookImbalance: id += fmt::format(":n_levels={}", key.n_levels); break;
        case FeatureKind::Cvd:
        case FeatureKind::Volatility:
            id += fmt::format(":window={}:warmup={}", key.window, to_string(key.warmup));
            break;
        case FeatureKind::Returns: id += fmt::format(":lag={}", key.window); break;
        case FeatureKind::SmaTimed:
        case FeatureKind::VolatilityTimed:
        case FeatureKind::ObvTimed:
        case FeatureKind::TradeCountTimed:
        case FeatureKind::TradeVolumeTimed:
        case FeatureKind::VwapTimed:
            id += fmt::format(":aggregation_ns={}:window_ns={}:warmup={}",
                              nanos_text(key.aggregation), nanos_text(key.window_duration),
                              to_string(key.warmup));
            break;
        case FeatureKind::TimeSinceFirstEventOfDay:
            id += fmt::format(":utc_offset_ms={}", key.utc_offset_ms);
            break;
        default: break;
    }
    return id;
}

FeatureDefinition FeatureDefinition::with_default_id(FeatureKey key) {
    FeatureId id = feature_id_from_key(key);
    return FeatureDefinition{std::move(id), std::move(key)};
}

}  // namespace zelk
