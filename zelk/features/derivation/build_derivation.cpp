#include "zelk/features/derivation/build_derivation.hpp"

namespace zelk {

namespace {

template <typename D>
Result<FeatureDerivation> wrap(Result<D> derivation) {
    if (!derivation) return std::unexpected(std::move(derivation.error()));
    return FeatureDerivation{std::move(*derivation)};
}

}  // namespace

Result<FeatureDerivation> build_derivation(const FeatureGroup& group) {
    const FeatureKey& key = group.key.key;
    const std::span<const uint64_t> members = group.member_values;
    const ScalarField field = key.source.field;
    if (is_order_book_kind(key.kind)) return OrderBookDerivation::create(key, members);
    switch (key.kind) {
        case FeatureKind::Field: return FieldDerivation(key.field);
        case FeatureKind::Cvd: return wrap(CvdDerivation::create(key.symbol, members, key.warmup));
        case FeatureKind::Returns:
            return wrap(ReturnsDerivation::create(
                key.symbol, field, key.log ? ReturnKind::Log : ReturnKind::Simple, members));
        case FeatureKind::Volatility:
            return wrap(VolatilityDerivation::create(key.symbol, field, members, key.warmup));
        case FeatureKind::SmaTimed:
            return wrap(
                SmaTimedDerivation::create(key.symbol, field, members, key.aggregation, key.warmup));
        case FeatureKind::VolatilityTimed:
            return wrap(VolatilityTimedDerivation::create(key.symbol, field, members,
                                                          key.aggregation, key.warmup));
        case FeatureKind::ObvTimed:
            return wrap(ObvTimedDerivation::create(key.symbol, members, key.aggregation, key.warmup));
        case FeatureKind::TradeVolumeTimed:
            return wrap(TradeVolumeTimedDerivation::create(key.symbol, members, key.aggregation,
                                                           key.warmup));
        case FeatureKind::VwapTimed:
            return wrap(
                VwapTimedDerivation::create(key.symbol, members, key.aggregation, key.warmup));
        case FeatureKind::TradeCountTimed:
            return wrap(TradeCountTimedDerivation::create(key.symbol, key.aggregation,
                                                          key.window_duration, key.warmup));
        case FeatureKind::Vpt: return VptDerivation(key.symbol);
        case FeatureKind::DayOfWeek: return DayOfWeekDerivation();
        case FeatureKind::TimeSinceFirstEventOfDay:
            return TimeSinceFirstEventOfDayDerivation(key.utc_offset_ms);
        default: break;
    }
    // Context groups have no derivation; the compiler never asks for one.
    return std::unexpected(ZelkError{err::InvalidIndicatorDefinition{
        group.definition_index, indicator_kind(key), def::ConstructionFailed{}}});
}

}  // namespace zelk
