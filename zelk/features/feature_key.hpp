// FeatureKey: what one raw output cell computes, for which symbol, from which
// input and with which parameters.
//
// A flat value: `kind` says which of the parameter fields are meaningful; the
// others keep their defaults. Build keys through the named constructors so
// that unused fields stay at their defaults, which equality and hashing rely
// on (every field has an initialiser, so a designated initialiser may name
// only the fields its kind uses). Equality is field by field with decimals
// compared numerically (a price of 1.0 equals 1.00); the hash is consistent
// with that. A key validates nothing: the compiler refuses unsuitable keys.
#pragma once

#include <cstdint>
#include <string>

#include "zelk/duration.hpp"
#include "zelk/features/source_field.hpp"
#include "zelk/indicator_kind.hpp"
#include "zelk/order_book/exact_decimal.hpp"
#include "zelk/order_book/side.hpp"
#include "zelk/types.hpp"

namespace zelk {

// The four scalar values an event can carry.
using ScalarField = SourceField;

// The 32 key kinds, in declaration order.
enum class FeatureKind : uint8_t {
    Context,
    OrderBookLevelSize,
    OrderBookNthPrice,
    OrderBookNthSize,
    OrderBookDepthUntilPrice,
    OrderBookDepthUntilSizePriceFrom,
    OrderBookDepthUntilSizePriceTo,
    OrderBookDepthUntilSizeTotalSize,
    OrderBookVolumeBetweenPrices,
    OrderBookBestBidPrice,
    OrderBookBestBidSize,
    OrderBookBestAskPrice,
    OrderBookBestAskSize,
    OrderBookMidPrice,
    OrderBookSpread,
    OrderBookSpreadBps,
    OrderBookWeightedMidPrice,
    OrderBookMicroprice,
    OrderBookImbalance,
    Field,
    Cvd,
    Returns,
    Volatility,
    SmaTimed,
    VolatilityTimed,
    ObvTimed,
    Vpt,
    TradeCountTimed,
    TradeVolumeTimed,
    VwapTimed,
    DayOfWeek,
    TimeSinceFirstEventOfDay,
};
inline constexpr int FEATURE_KIND_COUNT = 32;

constexpr bool is_order_book_kind(FeatureKind kind) {
    return kind >= FeatureKind::OrderBookLevelSize && kind <= FeatureKind::OrderBookImbalance;
}
// The six kinds over bucketed time windows.
constexpr bool is_timed_kind(FeatureKind kind) {
    switch (kind) {
        case FeatureKind::SmaTimed:
        case FeatureKind::VolatilityTimed:
        case FeatureKind::ObvTimed:
        case FeatureKind::TradeCountTimed:
        case FeatureKind::TradeVolumeTimed:
        case FeatureKind::VwapTimed: return true;
        default: return false;
    }
}

// Where a feature takes its input.
struct FeatureSource {
    enum class Type : uint8_t { Field, Event, AnyEvent };
    Type type = Type::AnyEvent;
    ScalarField field = ScalarField::Price;  // when type == Field
    EventKind event = EventKind::Price;      // when type == Event

    static constexpr FeatureSource of_field(ScalarField f) { return {Type::Field, f, {}}; }
    static constexpr FeatureSource of_event(EventKind k) { return {Type::Event, {}, k}; }
    static constexpr FeatureSource any_event() { return {}; }

    friend constexpr bool operator==(const FeatureSource&, const FeatureSource&) = default;
};

// "price", "volume", "trade_price", "trade_volume".
std::string_view to_string(ScalarField field);
// "field.price", "event.trade", "any_event", ...
std::string to_string(const FeatureSource& source);

struct FeatureKey {
    FeatureKind kind = FeatureKind::Field;
    Symbol symbol;
    std::string name{};               // Context
    Side side = Side::Bid;            // side-parameterised book kinds
    ExactDecimal price{};             // LevelSize, DepthUntilPrice; from_price of VolumeBetween
    ExactDecimal price_to{};          // to_price of VolumeBetweenPrices
    ExactDecimal size{};              // DepthUntilSize kinds
    uint64_t n_levels = 0;            // NthPrice, NthSize, Imbalance
    ScalarField field = ScalarField::Price;  // Field
    FeatureSource source{};           // kinds with a source
    uint64_t window = 0;              // Cvd, Volatility (samples); Returns: the lag
    bool log = false;                 // Returns
    WarmupPolicy warmup = WarmupPolicy::FirstValue;
    Duration aggregation{};           // timed kinds
    Duration window_duration{};       // timed kinds
    int64_t utc_offset_ms = 0;        // TimeSinceFirstEventOfDay

    // Named constructors, one per kind (book kinds share some).
    static FeatureKey context(Symbol symbol, std::string name);
    // LevelSize or DepthUntilPrice.
    static FeatureKey book_price_query(FeatureKind kind, Symbol symbol, Side side, ExactDecimal price);
    // NthPrice or NthSize.
    static FeatureKey book_nth(FeatureKind kind, Symbol symbol, Side side, uint64_t n_levels);
    // One of the three DepthUntilSize kinds.
    static FeatureKey book_size_query(FeatureKind kind, Symbol symbol, Side side, ExactDecimal size);
    static FeatureKey book_volume_between(Symbol symbol, Side side, ExactDecimal from_price,
                                          ExactDecimal to_price);
    // Best prices and sizes, mid, spread, bps, weighted mid, microprice.
    static FeatureKey book_scalar(FeatureKind kind, Symbol symbol);
    static FeatureKey book_imbalance(Symbol symbol, uint64_t n_levels);
    static FeatureKey field_of(Symbol symbol, ScalarField field);
    static FeatureKey cvd(Symbol symbol, FeatureSource source, uint64_t window, WarmupPolicy warmup);
    static FeatureKey returns(Symbol symbol, FeatureSource source, uint64_t lag, bool log);
    static FeatureKey volatility(Symbol symbol, FeatureSource source, uint64_t window,
                                 WarmupPolicy warmup);
    // Any of the six timed kinds.
    static FeatureKey timed(FeatureKind kind, Symbol symbol, FeatureSource source,
                            Duration aggregation, Duration window, WarmupPolicy warmup);
    static FeatureKey vpt(Symbol symbol, FeatureSource source);
    static FeatureKey day_of_week(Symbol symbol, FeatureSource source);
    static FeatureKey time_since_first_event_of_day(Symbol symbol, FeatureSource source,
                                                    int64_t utc_offset_ms);

    friend bool operator==(const FeatureKey&, const FeatureKey&) = default;
};

// The IndicatorKind that names the key in definition errors.
IndicatorKind indicator_kind(const FeatureKey& key);

// Hash consistent with FeatureKey equality (decimals hashed in normalised form).
struct FeatureKeyHash {
    size_t operator()(const FeatureKey& key) const;
};

}  // namespace zelk
