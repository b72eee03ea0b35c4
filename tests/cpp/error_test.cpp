// Every user-visible error text, rendered through the ZelkError display.
#include "zelk/error.hpp"

#include <gtest/gtest.h>

#include "zelk/symbols.hpp"

namespace zelk {
namespace {

ExactDecimal dec(const char* text) { return *ExactDecimal::parse(text); }

struct Case {
    ZelkError error;
    std::string expected;
};

ZelkError indicator(uint64_t index, IndicatorKind kind, InvalidIndicatorDefinitionError reason) {
    return ZelkError{err::InvalidIndicatorDefinition{index, kind, std::move(reason)}};
}

TEST(ZelkErrorDisplay, TopLevelCases) {
    const Symbol btc = *intern("btc");
    const std::vector<Case> cases = {
        {err::InvalidContextUpdate{3, "unknown feature ID"}, "context update 3: unknown feature ID"},
        {err::InvalidArgument{arg::RingBufferCapacityZero{}},
         "invalid argument: ring buffer capacity must be greater than 0"},
        {err::InvalidIndicatorDefinition{7, IndicatorKind::Sma, def::WindowTooShort{}},
         "invalid indicator definition at index 7: SMA: window must be at least 1"},
        {err::InvalidTransformationDefinition{1, InvalidTransformationDefinitionError::WindowZero},
         "invalid transformation definition at index 1: average window must be positive"},
        {err::InvalidPipelineStage{2, "bad stage"}, "invalid pipeline stage 2: bad stage"},
        {err::OutputCountMismatch{4, 3},
         "output storage has 3 cells, but compilation requires exactly 4"},
        {err::FeatureVectorCapacityMismatch{8, 6},
         "output storage has capacity 6, but the feature-vector spec requires capacity 8"},
        {err::ModelVectorLengthMismatch{5, 2},
         "model-input storage has 2 active cells, but the model-input spec requires exactly 5"},
        {err::ModelVectorCapacityMismatch{9, 1},
         "model-input storage has capacity 1, but the model-input spec requires capacity 9"},
        {err::TimestampOutOfOrder{btc, EventKind::Trade, 999, 1000},
         "timestamp 999 for trade event for symbol btc is earlier than previous timestamp 1000"},
        {err::TimestampOutOfOrder{Symbol::global(), EventKind::Time, -5, -1},
         "timestamp -5 for time event for symbol GLOBAL is earlier than previous timestamp -1"},
        {err::TimestampOutOfOrder{btc, EventKind::OrderBookSnapshot, 1, 2},
         "timestamp 1 for order book snapshot event for symbol btc is earlier than previous "
         "timestamp 2"},
        {err::OrderBookUpdateFailed{OrderBookUpdateError{SequenceGap{11, 13}}},
         "order-book update failed: expected update ID 11, received 13"},
        {err::OrderBookNotConfigured{btc}, "no order book is configured for symbol btc"},
        {err::DuplicateOrderBook{btc}, "more than one order book is configured for symbol btc"},
    };
    for (const auto& c : cases) EXPECT_EQ(to_string(c.error), c.expected);
}

TEST(ZelkErrorDisplay, EventKindsInTimestampMessages) {
    const std::pair<EventKind, const char*> kinds[] = {
        {EventKind::Price, "price"},
        {EventKind::Volume, "volume"},
        {EventKind::OrderBookDelta, "order book delta"},
    };
    for (const auto& [kind, text] : kinds) {
        EXPECT_EQ(to_string(ZelkError{err::TimestampOutOfOrder{Symbol::global(), kind, 1, 2}}),
                  std::string("timestamp 1 for ") + text +
                      " event for symbol GLOBAL is earlier than previous timestamp 2");
    }
}

TEST(ZelkErrorDisplay, ArgumentReasons) {
    const std::vector<std::pair<InvalidArgumentError, std::string>> cases = {
        {arg::GlobalOrderBookSymbol{}, "order books require a non-global symbol"},
        {arg::NonFiniteEventValue{EventValueField::Price}, "event price must be finite"},
        {arg::NonFiniteEventValue{EventValueField::Volume}, "event volume must be finite"},
        {arg::NonFiniteEventValue{EventValueField::TradePrice}, "event trade price must be finite"},
        {arg::NonFiniteEventValue{EventValueField::TradeVolume},
         "event trade volume must be finite"},
        {arg::FeatureVectorIndexOutOfBounds{5, 3},
         "index 5 is out of bounds for feature vector of length 3"},
        {arg::SourceValuesTooShort{4, 2}, "requested size 4 exceeds the 2 provided values"},
        {arg::FeatureVectorRangeOverflow{7, 18446744073709551615ull},
         "range starting at 7 with size 18446744073709551615 overflows usize"},
        {arg::FeatureVectorRangeOutOfBounds{2, 9, 8},
         "range 2..9 is out of bounds for feature vector capacity 8"},
        {arg::LimitExceeded{LimitTarget::Symbols, 513, 512}, "symbol count 513 exceeds limit 512"},
        {arg::LimitExceeded{LimitTarget::RuntimeFeatures, 65537, 65535},
         "runtime feature count 65537 exceeds limit 65535"},
        {arg::LimitExceeded{LimitTarget::SymbolRouters, 65537, 65535},
         "symbol router count 65537 exceeds limit 65535"},
        {arg::LimitExceeded{LimitTarget::Subscribers, 65536, 65535},
         "subscriber count 65536 exceeds limit 65535"},
        {arg::LimitExceeded{LimitTarget::SubscriberGroup, 70000, 65535},
         "subscriber group count 70000 exceeds limit 65535"},
        {arg::LimitExceeded{LimitTarget::OrderBooks, 65537, 65535},
         "order-book count 65537 exceeds limit 65535"},
        {arg::FeatureVectorCapacityTooSmall{2, 3},
         "feature vector capacity 2 is smaller than active length 3"},
        {arg::ReservedFeatureId{4},
         "feature definition at index 4 uses the reserved namespace for feature IDs"},
        {arg::RingBufferCapacityZero{}, "ring buffer capacity must be greater than 0"},
        {arg::WindowLimitReached{16}, "maximum number of windows (16) reached"},
        {arg::WindowAddedAfterData{}, "cannot add a window after data has been added"},
        {arg::WindowPeriodZero{}, "window period must be greater than 0"},
        {arg::WindowPeriodExceedsCapacity{6, 5},
         "window period 6 cannot exceed ring buffer capacity 5"},
        {arg::WindowPeriodMustBeLessThanCapacity{5, 5},
         "window period 5 must be less than ring buffer capacity 5"},
        {arg::AggregationTooShort{}, "aggregation duration must be at least 1 millisecond"},
        {arg::DurationPrecision{TimedDurationField::Aggregation},
         "aggregation duration must use whole-millisecond precision"},
        {arg::DurationPrecision{TimedDurationField::Window},
         "window duration must use whole-millisecond precision"},
        {arg::DurationOutOfRange{TimedDurationField::TimedWindow},
         "timed window durations must fit signed 64-bit milliseconds"},
        {arg::WindowShorterThanAggregation{}, "window cannot be shorter than aggregation"},
        {arg::WindowNotMultipleOfAggregation{}, "window must be a multiple of aggregation"},
        {arg::WindowPeriodOutOfRange{PeriodWidth::Signed64}, "window period must fit signed 64-bit"},
        {arg::WindowPeriodOutOfRange{PeriodWidth::Usize}, "window period must fit usize"},
        {arg::WindowDurationOutOfRange{}, "window duration must fit signed 64-bit milliseconds"},
        {arg::TimedPeriodTooLarge{IndicatorKind::VwapTimed}, "timed VWAP timed period is too large"},
    };
    for (const auto& [reason, text] : cases) {
        EXPECT_EQ(to_string(ZelkError{reason}), "invalid argument: " + text);
    }
}

TEST(ZelkErrorDisplay, IndicatorDefinitionReasons) {
    const Duration one_and_half_ms{0, 1'500'000};
    const std::vector<std::pair<InvalidIndicatorDefinitionError, std::string>> cases = {
        {def::EmptyContextName{}, "context name must not be empty"},
        {def::OrderBookPriceNegative{}, "order-book query prices must be nonnegative"},
        {def::OrderBookSizeNotPositive{}, "order-book target size must be positive"},
        {def::OrderBookPriceRangeInvalid{}, "order-book query requires from_price < to_price"},
        {def::OrderBookDepthZero{}, "order-book depth must be positive"},
        {def::CompatibleGroupOutputLimitExceeded{16}, "compatible feature group exceeds 16 outputs"},
        {def::DuplicateScalarDerivation{}, "duplicates a scalar runtime derivation"},
        {def::DuplicateFeatureKey{}, "duplicates an earlier feature key"},
        {def::DuplicateFeatureId{}, "duplicates an earlier feature ID"},
        {def::ScalarEventFieldSourceRequired{}, "requires a scalar event-field source"},
        {def::TradeEventSourceRequired{}, "requires Event(Trade) as its source"},
        {def::WindowTooShort{}, "window must be at least 1"},
        {def::WindowTooLarge{}, "window is too large"},
        {def::AggregationTooShort{}, "aggregation must be at least 1 millisecond"},
        {def::WindowShorterThanAggregation{1000, 500},
         "window must be at least aggregation 1000ms, got 500ms"},
        {def::WindowNotMultipleOfAggregation{1000, 2500},
         "window must be an exact multiple of aggregation 1000ms, got 2500ms"},
        {def::BucketPeriodOutOfRange{}, "derived bucket period does not fit usize"},
        {def::DurationPrecision{DefinitionDurationField::Aggregation, one_and_half_ms},
         "aggregation must use whole-millisecond precision, got 1.5ms"},
        {def::DurationOutOfRange{DefinitionDurationField::Window, Duration{9'300'000'000'000'000, 0}},
         "window must fit signed 64-bit milliseconds, got 9300000000000000s"},
        {def::UtcOffsetOutOfRange{54'000'000},
         "UTC offset must be within -14h..=+14h, got 54000000ms"},
        {def::UtcOffsetPrecision{-1500}, "UTC offset must use whole-minute precision, got -1500ms"},
        {def::InvalidArgument{arg::WindowPeriodZero{}},
         "invalid argument: window period must be greater than 0"},
        {def::ConstructionFailed{}, "indicator construction failed"},
    };
    for (const auto& [reason, text] : cases) {
        EXPECT_EQ(to_string(indicator(2, IndicatorKind::SmaTimed, reason)),
                  "invalid indicator definition at index 2: timed SMA: " + text);
    }
}

// The argument check inside a definition nests two prefixes.
TEST(ZelkErrorDisplay, NestedArgumentInsideDefinition) {
    EXPECT_EQ(to_string(indicator(0, IndicatorKind::ObvTimed,
                                  def::InvalidArgument{arg::TimedPeriodTooLarge{
                                      IndicatorKind::ObvTimed}})),
              "invalid indicator definition at index 0: timed OBV: invalid argument: timed OBV "
              "timed period is too large");
}

TEST(ZelkErrorDisplay, TransformationReasons) {
    using E = InvalidTransformationDefinitionError;
    const std::pair<E, const char*> cases[] = {
        {E::WindowZero, "average window must be positive"},
        {E::TooManyAverageOutputs, "too many compatible average outputs (maximum 16)"},
        {E::InputFeatureNotFound, "input feature ID does not exist in the preceding layout"},
        {E::DuplicateOutputFeature, "output feature ID duplicates an earlier output"},
        {E::ReservedOutputFeature, "output feature ID uses the reserved namespace"},
        {E::MeanNotFinite, "standard-scaler mean must be finite"},
        {E::ScaleNotFinite, "standard-scaler scale must be finite"},
        {E::ScaleNotPositive, "standard-scaler scale must be positive"},
        {E::InverseScaleNotFinite, "standard-scaler inverse scale must be finite"},
        {E::LagWindowZero, "lag window must be positive"},
        {E::LagWindowTooLarge, "lag window exceeds the maximum of 10000 values"},
    };
    for (const auto& [reason, text] : cases) {
        EXPECT_EQ(to_string(ZelkError{err::InvalidTransformationDefinition{0, reason}}),
                  std::string("invalid transformation definition at index 0: ") + text);
    }
}

TEST(ZelkErrorDisplay, OrderBookUpdateErrors) {
    const std::vector<Case> cases = {
        {OrderBookUpdateError{SnapshotHistoryGap{10, 11, 12}},
         "snapshot 10 requires update ID 11, received 12"},
        {OrderBookUpdateError{BufferCapacityExceeded{2}},
         "order-book update buffer capacity 2 was exceeded"},
        {OrderBookUpdateError{StaleSnapshot{5, 4}},
         "snapshot 4 is not newer than current snapshot 5"},
        {OrderBookUpdateError{InvalidDenseConfiguration{dec("0.010"), dec("100"), dec("99.5")}},
         "invalid dense order-book grid: tick 0.010, range [100, 99.5]"},
        {OrderBookUpdateError{DenseCapacityExceeded{}},
         "dense order-book price range cannot be allocated"},
        {OrderBookUpdateError{InvalidUpdate{Side::Bid, dec("100.50"), dec("-1")}},
         "invalid Bid level update with price 100.50 and size -1"},
        {OrderBookUpdateError{InvalidUpdate{Side::Ask, dec("-2"), dec("0")}},
         "invalid Ask level update with price -2 and size 0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(to_string(c.error), "order-book update failed: " + c.expected);
    }
}

TEST(ZelkErrorDisplay, PriceRangePrintsNormalisedDecimals) {
    EXPECT_EQ(to_string(ZelkError{err::InvalidPriceRange{dec("101.50"), dec("100")}}),
              "invalid price range: from price 101.5 must be less than to price 100");
}

TEST(IndicatorKindDisplay, EveryKindHasItsText) {
    const std::pair<IndicatorKind, const char*> cases[] = {
        {IndicatorKind::Context, "context"},
        {IndicatorKind::Field, "field"},
        {IndicatorKind::OrderBookBestBidPrice, "order-book best bid price"},
        {IndicatorKind::OrderBookBestBidSize, "order-book best bid size"},
        {IndicatorKind::OrderBookBestAskPrice, "order-book best ask price"},
        {IndicatorKind::OrderBookBestAskSize, "order-book best ask size"},
        {IndicatorKind::OrderBookLevelSize, "order book level size"},
        {IndicatorKind::OrderBookNthPrice, "order book nth price"},
        {IndicatorKind::OrderBookNthSize, "order book nth size"},
        {IndicatorKind::OrderBookDepthUntilPrice, "order book depth until price"},
        {IndicatorKind::OrderBookDepthUntilSizePriceFrom, "order book depth until size price from"},
        {IndicatorKind::OrderBookDepthUntilSizePriceTo, "order book depth until size price to"},
        {IndicatorKind::OrderBookDepthUntilSizeTotalSize, "order book depth until size total size"},
        {IndicatorKind::OrderBookVolumeBetweenPrices, "order book volume between prices"},
        {IndicatorKind::OrderBookMidPrice, "order-book mid-price"},
        {IndicatorKind::OrderBookSpread, "order-book spread"},
        {IndicatorKind::OrderBookSpreadBps, "order-book spread in basis points"},
        {IndicatorKind::OrderBookWeightedMidPrice, "order-book weighted mid-price"},
        {IndicatorKind::OrderBookMicroprice, "order-book microprice"},
        {IndicatorKind::OrderBookImbalance, "order-book imbalance"},
        {IndicatorKind::Sma, "SMA"},
        {IndicatorKind::Ema, "EMA"},
        {IndicatorKind::Cvd, "CVD"},
        {IndicatorKind::SimpleReturn, "simple return"},
        {IndicatorKind::LogReturn, "log return"},
        {IndicatorKind::Volatility, "rolling volatility"},
        {IndicatorKind::SmaTimed, "timed SMA"},
        {IndicatorKind::ObvTimed, "timed OBV"},
        {IndicatorKind::VolatilityTimed, "timed rolling volatility"},
        {IndicatorKind::Vpt, "VPT"},
        {IndicatorKind::TradeCountTimed, "timed trade count"},
        {IndicatorKind::TradeVolumeTimed, "timed trade volume"},
        {IndicatorKind::VwapTimed, "timed VWAP"},
        {IndicatorKind::DayOfWeek, "day of week"},
        {IndicatorKind::TimeSinceFirstEventOfDay, "time since first event of day"},
    };
    static_assert(std::size(cases) == INDICATOR_KIND_COUNT);
    for (const auto& [kind, text] : cases) EXPECT_EQ(display_name(kind), text);
}

TEST(DurationDisplay, AdaptiveHumanForm) {
    const std::pair<Duration, const char*> cases[] = {
        {Duration{0, 1'500'000}, "1.5ms"}, {Duration{2, 0}, "2s"},
        {Duration{0, 1}, "1ns"},           {Duration{0, 250'000}, "250µs"},
        {Duration{1, 500'000'000}, "1.5s"}, {Duration{0, 1'234}, "1.234µs"},
        {Duration{5, 1}, "5.000000001s"},  {Duration{0, 0}, "0ns"},
    };
    for (const auto& [duration, text] : cases) EXPECT_EQ(to_human_string(duration), text);
}

}  // namespace
}  // namespace zelk
