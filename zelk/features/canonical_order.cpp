#include "zelk/features/canonical_order.hpp"

#include <algorithm>
#include <numeric>

#include "zelk/symbols.hpp"

namespace zelk {

namespace {

uint8_t kind_rank(const FeatureKey& key) {
    switch (key.kind) {
        case FeatureKind::Cvd: return 0;
        case FeatureKind::DayOfWeek: return 1;
        case FeatureKind::ObvTimed: return 3;
        case FeatureKind::Field: return 4;
        case FeatureKind::SmaTimed: return 5;
        case FeatureKind::TimeSinceFirstEventOfDay: return 6;
        case FeatureKind::TradeCountTimed: return 7;
        case FeatureKind::OrderBookMidPrice: return 8;
        case FeatureKind::OrderBookSpread: return 9;
        case FeatureKind::OrderBookSpreadBps: return 10;
        case FeatureKind::OrderBookWeightedMidPrice: return 11;
        case FeatureKind::OrderBookMicroprice: return 12;
        case FeatureKind::OrderBookImbalance: return 13;
        case FeatureKind::OrderBookBestBidPrice: return 14;
        case FeatureKind::OrderBookBestBidSize: return 15;
        case FeatureKind::OrderBookBestAskPrice: return 16;
        case FeatureKind::OrderBookBestAskSize: return 17;
        case FeatureKind::OrderBookLevelSize: return 18;
        case FeatureKind::OrderBookNthPrice: return 19;
        case FeatureKind::OrderBookNthSize: return 20;
        case FeatureKind::OrderBookDepthUntilPrice: return 21;
        case FeatureKind::OrderBookDepthUntilSizePriceFrom: return 22;
        case FeatureKind::OrderBookDepthUntilSizePriceTo: return 23;
        case FeatureKind::OrderBookDepthUntilSizeTotalSize: return 24;
        case FeatureKind::OrderBookVolumeBetweenPrices: return 25;
        case FeatureKind::Context:
        case FeatureKind::Vpt: return 26;
        case FeatureKind::Volatility: return 27;
        case FeatureKind::VolatilityTimed: return 28;
        case FeatureKind::Returns: return key.log ? 30 : 29;
        case FeatureKind::TradeVolumeTimed: return 31;
        case FeatureKind::VwapTimed: return 32;
    }
    return 2;
}

uint8_t field_rank(ScalarField field) {
    switch (field) {
        case ScalarField::Price: return 0;
        case ScalarField::TradePrice: return 1;
        case ScalarField::TradeVolume: return 2;
        case ScalarField::Volume: return 3;
    }
    return 0;
}

uint8_t source_rank(const FeatureKey& key) {
    if (key.kind == FeatureKind::Field) return field_rank(key.field);
    if (is_order_book_kind(key.kind)) return 32;
    if (key.kind == FeatureKind::Context) return 33;
    switch (key.source.type) {
        case FeatureSource::Type::Field: return field_rank(key.source.field);
        case FeatureSource::Type::Event: return static_cast<uint8_t>(16 + static_cast<int>(key.source.event));
        case FeatureSource::Type::AnyEvent: return 255;
    }
    return 255;
}

u128 total_nanos(Duration d) { return static_cast<u128>(d.seconds) * 1'000'000'000u + d.nanos; }

bool has_warmup_variant(FeatureKind kind) {
    return kind == FeatureKind::Cvd || kind == FeatureKind::Volatility || is_timed_kind(kind);
}

}  // namespace

CanonicalKey canonical_key(const FeatureKey& key) {
    CanonicalKey c;
    c.named = !key.symbol.is_global();
    c.symbol_name = resolve_as_string(key.symbol);
    c.kind_rank = kind_rank(key);
    c.source_rank = source_rank(key);
    if (has_warmup_variant(key.kind)) c.variant = static_cast<uint8_t>(key.warmup);
    if (is_timed_kind(key.kind)) c.first_duration = total_nanos(key.aggregation);
    if (key.kind == FeatureKind::TradeCountTimed) c.second_duration = total_nanos(key.window_duration);
    if (key.kind == FeatureKind::TimeSinceFirstEventOfDay) c.parameter = key.utc_offset_ms;
    if (c.kind_rank >= 18 && c.kind_rank <= 26) c.id_text = feature_id_from_key(key);
    return c;
}

void sort_canonically(std::vector<FeatureDefinition>& definitions) {
    if (definitions.size() < 2) return;
    std::vector<CanonicalKey> keys;
    keys.reserve(definitions.size());
    for (const auto& d : definitions) keys.push_back(canonical_key(d.key));
    std::vector<size_t> order(definitions.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return keys[a] < keys[b]; });
    std::vector<FeatureDefinition> sorted;
    sorted.reserve(definitions.size());
    for (size_t i : order) sorted.push_back(std::move(definitions[i]));
    definitions = std::move(sorted);
}

size_t count_distinct_canonical_keys(std::span<const FeatureDefinition> definitions) {
    size_t count = 0;
    std::optional<CanonicalKey> previous;
    for (const auto& d : definitions) {
        CanonicalKey key = canonical_key(d.key);
        if (!previous || key != *previous) ++count;
        previous = std::move(key);
    }
    return count;
}

}  // namespace zelk
