#include "zelk/features/feature_key.hpp"

#include <functional>

namespace zelk {

std::string_view to_string(ScalarField field) {
    switch (field) {
        case ScalarField::Price: return "price";
        case ScalarField::Volume: return "volume";
        case ScalarField::TradePrice: return "trade_price";
        case ScalarField::TradeVolume: return "trade_volume";
    }
    return "";
}

namespace {

std::string_view event_text(EventKind kind) {
    switch (kind) {
        case EventKind::Price: return "price";
        case EventKind::Volume: return "volume";
        case EventKind::Trade: return "trade";
        case EventKind::OrderBookDelta: return "order_book_delta";
        case EventKind::OrderBookSnapshot: return "order_book_snapshot";
        case EventKind::Time: return "time";
    }
    return "";
}

}  // namespace

std::string to_string(const FeatureSource& source) {
    switch (source.type) {
        case FeatureSource::Type::Field: return "field." + std::string(to_string(source.field));
        case FeatureSource::Type::Event: return "event." + std::string(event_text(source.event));
        case FeatureSource::Type::AnyEvent: return "any_event";
    }
    return "";
}

namespace {

// Cvd and Volatility: a source read over a window of samples.
FeatureKey sample_window_key(FeatureKind kind, Symbol symbol, FeatureSource source, uint64_t window,
                             WarmupPolicy warmup) {
    return {.kind = kind, .symbol = symbol, .source = source, .window = window, .warmup = warmup};
}

}  // namespace

// The named constructors list only the fields their kind uses; designated
// initialisation leaves every other field at its default.

FeatureKey FeatureKey::context(Symbol symbol, std::string name) {
    return {.kind = FeatureKind::Context, .symbol = symbol, .name = std::move(name)};
}

FeatureKey FeatureKey::book_price_query(FeatureKind kind, Symbol symbol, Side side,
                                        ExactDecimal price) {
    return {.kind = kind, .symbol = symbol, .side = side, .price = price};
}

FeatureKey FeatureKey::book_nth(FeatureKind kind, Symbol symbol, Side side, uint64_t n_levels) {
    return {.kind = kind, .symbol = symbol, .side = side, .n_levels = n_levels};
}

FeatureKey FeatureKey::book_size_query(FeatureKind kind, Symbol symbol, Side side,
                                       ExactDecimal size) {
    return {.kind = kind, .symbol = symbol, .side = side, .size = size};
}

FeatureKey FeatureKey::book_volume_between(Symbol symbol, Side side, ExactDecimal from_price,
                                           ExactDecimal to_price) {
    return {.kind = FeatureKind::OrderBookVolumeBetweenPrices,
            .symbol = symbol,
            .side = side,
            .price = from_price,
            .price_to = to_price};
}

FeatureKey FeatureKey::book_scalar(FeatureKind kind, Symbol symbol) {
    return {.kind = kind, .symbol = symbol};
}

FeatureKey FeatureKey::book_imbalance(Symbol symbol, uint64_t n_levels) {
    return {.kind = FeatureKind::OrderBookImbalance, .symbol = symbol, .n_levels = n_levels};
}

FeatureKey FeatureKey::field_of(Symbol symbol, ScalarField field) {
    return {.kind = FeatureKind::Field, .symbol = symbol, .field = field};
}

FeatureKey FeatureKey::cvd(Symbol symbol, FeatureSource source, uint64_t window,
                           WarmupPolicy warmup) {
    return sample_window_key(FeatureKind::Cvd, symbol, source, window, warmup);
}

FeatureKey FeatureKey::returns(Symbol symbol, FeatureSource source, uint64_t lag, bool log) {
    return {.kind = FeatureKind::Returns,
            .symbol = symbol,
            .source = source,
            .window = lag,
            .log = log};
}

FeatureKey FeatureKey::volatility(Symbol symbol, FeatureSource source, uint64_t window,
                                  WarmupPolicy warmup) {
    return sample_window_key(FeatureKind::Volatility, symbol, source, window, warmup);
}

FeatureKey FeatureKey::timed(FeatureKind kind, Symbol symbol, FeatureSource source,
                             Duration aggregation, Duration window, WarmupPolicy warmup) {
    return {.kind = kind,
            .symbol = symbol,
            .source = source,
            .warmup = warmup,
            .aggregation = aggregation,
            .window_duration = window};
}

FeatureKey FeatureKey::vpt(Symbol symbol, FeatureSource source) {
    return {.kind = FeatureKind::Vpt, .symbol = symbol, .source = source};
}

FeatureKey FeatureKey::day_of_week(Symbol symbol, FeatureSource source) {
    return {.kind = FeatureKind::DayOfWeek, .symbol = symbol, .source = source};
}

FeatureKey FeatureKey::time_since_first_event_of_day(Symbol symbol, FeatureSource source,
                                                     int64_t utc_offset_ms) {
    return {.kind = FeatureKind::TimeSinceFirstEventOfDay,
            .symbol = symbol,
            .source = source,
            .utc_offset_ms = utc_offset_ms};
}

IndicatorKind indicator_kind(const FeatureKey& key) {
    switch (key.kind) {
        case FeatureKind::Context: return IndicatorKind::Context;
        case FeatureKind::OrderBookLevelSize: return IndicatorKind::OrderBookLevelSize;
        case FeatureKind::OrderBookNthPrice: return IndicatorKind::OrderBookNthPrice;
        case FeatureKind::OrderBookNthSize: return IndicatorKind::OrderBookNthSize;
        case FeatureKind::OrderBookDepthUntilPrice: return IndicatorKind::OrderBookDepthUntilPrice;
        case FeatureKind::OrderBookDepthUntilSizePriceFrom:
            return IndicatorKind::OrderBookDepthUntilSizePriceFrom;
        case FeatureKind::OrderBookDepthUntilSizePriceTo:
            return IndicatorKind::OrderBookDepthUntilSizePriceTo;
        case FeatureKind::OrderBookDepthUntilSizeTotalSize:
            return IndicatorKind::OrderBookDepthUntilSizeTotalSize;
        case FeatureKind::OrderBookVolumeBetweenPrices:
            return IndicatorKind::OrderBookVolumeBetweenPrices;
        case FeatureKind::OrderBookBestBidPrice: return IndicatorKind::OrderBookBestBidPrice;
        case FeatureKind::OrderBookBestBidSize: return IndicatorKind::OrderBookBestBidSize;
        case FeatureKind::OrderBookBestAskPrice: return IndicatorKind::OrderBookBestAskPrice;
        case FeatureKind::OrderBookBestAskSize: return IndicatorKind::OrderBookBestAskSize;
        case FeatureKind::OrderBookMidPrice: return IndicatorKind::OrderBookMidPrice;
        case FeatureKind::OrderBookSpread: return IndicatorKind::OrderBookSpread;
        case FeatureKind::OrderBookSpreadBps: return IndicatorKind::OrderBookSpreadBps;
        case FeatureKind::OrderBookWeightedMidPrice:
            return IndicatorKind::OrderBookWeightedMidPrice;
        case FeatureKind::OrderBookMicroprice: return IndicatorKind::OrderBookMicroprice;
        case FeatureKind::OrderBookImbalance: return IndicatorKind::OrderBookImbalance;
        case FeatureKind::Field: return IndicatorKind::Field;
        case FeatureKind::Cvd: return IndicatorKind::Cvd;
        case FeatureKind::Returns:
            return key.log ? IndicatorKind::LogReturn : IndicatorKind::SimpleReturn;
        case FeatureKind::Volatility: return IndicatorKind::Volatility;
        case FeatureKind::SmaTimed: return IndicatorKind::SmaTimed;
        case FeatureKind::VolatilityTimed: return IndicatorKind::VolatilityTimed;
        case FeatureKind::ObvTimed: return IndicatorKind::ObvTimed;
        case FeatureKind::Vpt: return IndicatorKind::Vpt;
        case FeatureKind::TradeCountTimed: return IndicatorKind::TradeCountTimed;
        case FeatureKind::TradeVolumeTimed: return IndicatorKind::TradeVolumeTimed;
        case FeatureKind::VwapTimed: return IndicatorKind::VwapTimed;
        case FeatureKind::DayOfWeek: return IndicatorKind::DayOfWeek;
        case FeatureKind::TimeSinceFirstEventOfDay:
            return IndicatorKind::TimeSinceFirstEventOfDay;
    }
    return IndicatorKind::Field;
}

namespace {

void mix(size_t& seed, size_t value) {
    seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

void mix_decimal(size_t& seed, const ExactDecimal& d) {
    const ExactDecimal n = d.normalized();
    mix(seed, static_cast<size_t>(n.coefficient()));
    mix(seed, static_cast<size_t>(n.coefficient() >> 64));
    mix(seed, n.scale());
    mix(seed, n.is_negative() ? 1 : 0);
}

}  // namespace

size_t FeatureKeyHash::operator()(const FeatureKey& key) const {
    size_t seed = static_cast<size_t>(key.kind);
    mix(seed, key.symbol.id);
    mix(seed, std::hash<std::string>{}(key.name));
    mix(seed, static_cast<size_t>(key.side));
    mix_decimal(seed, key.price);
    mix_decimal(seed, key.price_to);
    mix_decimal(seed, key.size);
    mix(seed, key.n_levels);
    mix(seed, static_cast<size_t>(key.field));
    mix(seed, static_cast<size_t>(key.source.type));
    mix(seed, static_cast<size_t>(key.source.field));
    mix(seed, static_cast<size_t>(key.source.event));
    mix(seed, key.window);
    mix(seed, key.log ? 1 : 0);
    mix(seed, static_cast<size_t>(key.warmup));
    mix(seed, key.aggregation.seconds);
    mix(seed, key.aggregation.nanos);
    mix(seed, key.window_duration.seconds);
    mix(seed, key.window_duration.nanos);
    mix(seed, static_cast<size_t>(key.utc_offset_ms));
    return seed;
}

}  // namespace zelk
