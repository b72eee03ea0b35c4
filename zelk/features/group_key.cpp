#include "zelk/features/group_key.hpp"

#include <cstdio>
#include <cstdlib>
#include <limits>

namespace zelk {

namespace {

constexpr int64_t MAX_UTC_OFFSET_MS = 50'400'000;  // 14 hours
constexpr int64_t MILLIS_PER_MINUTE = 60'000;

bool is_field_source(const FeatureSource& s) { return s.type == FeatureSource::Type::Field; }
bool is_trade_source(const FeatureSource& s) {
    return s.type == FeatureSource::Type::Event && s.event == EventKind::Trade;
}

// Milliseconds of a whole-millisecond duration, or the definition error.
Result<int64_t> whole_millis(size_t index, IndicatorKind kind, DefinitionDurationField field,
                             Duration d) {
    auto fail = [&](InvalidIndicatorDefinitionError reason) {
        return std::unexpected(ZelkError{err::InvalidIndicatorDefinition{index, kind, reason}});
    };
    if (d.nanos % 1'000'000 != 0) return fail(def::DurationPrecision{field, d});
    const u128 millis = static_cast<u128>(d.seconds) * 1000u + d.nanos / 1'000'000;
    if (millis > static_cast<u128>(std::numeric_limits<int64_t>::max())) {
        return fail(def::DurationOutOfRange{field, d});
    }
    return static_cast<int64_t>(millis);
}

}  // namespace

GroupMembers group_members_of(FeatureKind kind) {
    switch (kind) {
        case FeatureKind::OrderBookImbalance: return GroupMembers::Depths;
        case FeatureKind::Cvd:
        case FeatureKind::Returns:
        case FeatureKind::Volatility: return GroupMembers::Windows;
        case FeatureKind::SmaTimed:
        case FeatureKind::VolatilityTimed:
        case FeatureKind::ObvTimed:
        case FeatureKind::TradeVolumeTimed:
        case FeatureKind::VwapTimed: return GroupMembers::Buckets;
        default: return GroupMembers::Scalar;
    }
}

Result<uint64_t> validate_timed_window(size_t index, IndicatorKind kind, Duration aggregation,
                                       Duration window) {
    auto fail = [&](InvalidIndicatorDefinitionError reason) {
        return std::unexpected(ZelkError{err::InvalidIndicatorDefinition{index, kind, reason}});
    };
    auto aggregation_ms =
        whole_millis(index, kind, DefinitionDurationField::Aggregation, aggregation);
    if (!aggregation_ms) return std::unexpected(std::move(aggregation_ms.error()));
    if (*aggregation_ms == 0) return fail(def::AggregationTooShort{});
    auto window_ms = whole_millis(index, kind, DefinitionDurationField::Window, window);
    if (!window_ms) return std::unexpected(std::move(window_ms.error()));
    if (*window_ms < *aggregation_ms) {
        return fail(def::WindowShorterThanAggregation{*aggregation_ms, *window_ms});
    }
    if (*window_ms % *aggregation_ms != 0) {
        return fail(def::WindowNotMultipleOfAggregation{*aggregation_ms, *window_ms});
    }
    return static_cast<uint64_t>(*window_ms / *aggregation_ms);
}

Result<GroupedKey> group_key(size_t index, const FeatureKey& key) {
    const IndicatorKind indicator = indicator_kind(key);
    auto fail = [&](InvalidIndicatorDefinitionError reason) -> Result<GroupedKey> {
        return std::unexpected(
            ZelkError{err::InvalidIndicatorDefinition{index, indicator, std::move(reason)}});
    };
    GroupKey group{key};
    std::optional<uint64_t> member;

    switch (key.kind) {
        case FeatureKind::Context:
            if (key.name.empty()) return fail(def::EmptyContextName{});
            break;
        case FeatureKind::OrderBookLevelSize:
        case FeatureKind::OrderBookDepthUntilPrice:
            if (key.price.is_negative()) return fail(def::OrderBookPriceNegative{});
            break;
        case FeatureKind::OrderBookNthPrice:
        case FeatureKind::OrderBookNthSize:
            if (key.n_levels == 0) return fail(def::OrderBookDepthZero{});
            break;
        case FeatureKind::OrderBookDepthUntilSizePriceFrom:
        case FeatureKind::OrderBookDepthUntilSizePriceTo:
        case FeatureKind::OrderBookDepthUntilSizeTotalSize:
            if (!key.size.is_positive()) return fail(def::OrderBookSizeNotPositive{});
            break;
        case FeatureKind::OrderBookVolumeBetweenPrices:
            if (key.price.is_negative() || key.price_to.is_negative()) {
                return fail(def::OrderBookPriceNegative{});
            }
            if (!(key.price < key.price_to)) return fail(def::OrderBookPriceRangeInvalid{});
            break;
        case FeatureKind::OrderBookImbalance:
            if (key.n_levels == 0) return fail(def::OrderBookDepthZero{});
            member = key.n_levels;
            group.key.n_levels = 0;
            break;
        case FeatureKind::Cvd:
            if (!is_trade_source(key.source)) return fail(def::TradeEventSourceRequired{});
            if (key.window == 0) return fail(def::WindowTooShort{});
            member = key.window;
            group.key.window = 0;
            break;
        case FeatureKind::Returns:
            if (key.window == 0) return fail(def::WindowTooShort{});
            if (key.window == std::numeric_limits<uint64_t>::max()) {
                return fail(def::WindowTooLarge{});
            }
            if (!is_field_source(key.source)) return fail(def::ScalarEventFieldSourceRequired{});
            member = key.window;
            group.key.window = 0;
            break;
        case FeatureKind::Volatility:
            if (key.window == 0) return fail(def::WindowTooShort{});
            if (!is_field_source(key.source)) return fail(def::ScalarEventFieldSourceRequired{});
            member = key.window;
            group.key.window = 0;
            break;
        case FeatureKind::SmaTimed:
        case FeatureKind::VolatilityTimed:
        case FeatureKind::ObvTimed:
        case FeatureKind::TradeVolumeTimed:
        case FeatureKind::VwapTimed:
        case FeatureKind::TradeCountTimed: {
            const bool needs_field =
                key.kind == FeatureKind::SmaTimed || key.kind == FeatureKind::VolatilityTimed;
            if (needs_field && !is_field_source(key.source)) {
                return fail(def::ScalarEventFieldSourceRequired{});
            }
            if (!needs_field && !is_trade_source(key.source)) {
                return fail(def::TradeEventSourceRequired{});
            }
            auto buckets =
                validate_timed_window(index, indicator, key.aggregation, key.window_duration);
            if (!buckets) return std::unexpected(std::move(buckets.error()));
            if (key.kind != FeatureKind::TradeCountTimed) {
                member = *buckets;
                group.key.window_duration = Duration{};
            }
            break;
        }
        case FeatureKind::Vpt:
            if (!is_trade_source(key.source)) return fail(def::TradeEventSourceRequired{});
            break;
        case FeatureKind::TimeSinceFirstEventOfDay:
            if (key.utc_offset_ms < -MAX_UTC_OFFSET_MS || key.utc_offset_ms > MAX_UTC_OFFSET_MS) {
                return fail(def::UtcOffsetOutOfRange{key.utc_offset_ms});
            }
            if (key.utc_offset_ms % MILLIS_PER_MINUTE != 0) {
                return fail(def::UtcOffsetPrecision{key.utc_offset_ms});
            }
            break;
        default: break;  // book scalars, Field, DayOfWeek: nothing to check
    }
    return GroupedKey{std::move(group), member};
}

Status validate_key(const FeatureKey& key) {
    auto grouped = group_key(0, key);
    if (!grouped) return std::unexpected(std::move(grouped.error()));
    return {};
}

int64_t aggregation_millis(const GroupKey& group) {
    const Duration d = group.key.aggregation;
    return static_cast<int64_t>(d.seconds * 1000 + d.nanos / 1'000'000);
}

RouteKind route_of(const GroupKey& group) {
    const FeatureKey& key = group.key;
    auto field_route = [](ScalarField field) {
        switch (field) {
            case ScalarField::Price: return RouteKind::Price;
            case ScalarField::Volume: return RouteKind::Volume;
            case ScalarField::TradePrice:
            case ScalarField::TradeVolume: return RouteKind::Trade;
        }
        return RouteKind::Price;
    };
    auto source_route = [&](const FeatureSource& source) {
        switch (source.type) {
            case FeatureSource::Type::Field: return field_route(source.field);
            case FeatureSource::Type::Event: return static_cast<RouteKind>(source.event);
            case FeatureSource::Type::AnyEvent:
                return key.symbol.is_global() ? RouteKind::Global : RouteKind::AnyMarketEvent;
        }
        return RouteKind::Global;
    };
    if (is_order_book_kind(key.kind)) return RouteKind::OrderBook;
    if (is_timed_kind(key.kind)) return RouteKind::AnyMarketEvent;
    switch (key.kind) {
        case FeatureKind::Field: return field_route(key.field);
        case FeatureKind::Returns:
        case FeatureKind::Volatility: return field_route(key.source.field);
        case FeatureKind::Cvd:
        case FeatureKind::Vpt:
        case FeatureKind::DayOfWeek:
        case FeatureKind::TimeSinceFirstEventOfDay: return source_route(key.source);
        case FeatureKind::Context:
            std::fputs("internal error: entered unreachable code: context has no event route\n",
                       stderr);
            std::abort();
        default: break;
    }
    return RouteKind::Global;
}

}  // namespace zelk
