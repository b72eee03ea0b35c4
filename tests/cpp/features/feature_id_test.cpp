#include "zelk/features/feature_id.hpp"

#include <gtest/gtest.h>

#include "zelk/symbols.hpp"

namespace zelk {
namespace {

ExactDecimal dec(const char* text) { return *ExactDecimal::parse(text); }
Duration ms(uint64_t millis) { return Duration::from_millis(millis); }

const FeatureSource PRICE = FeatureSource::of_field(ScalarField::Price);
const FeatureSource TRADES = FeatureSource::of_event(EventKind::Trade);

TEST(FeatureId, WorkedExamples) {
    const Symbol btc = *intern("btc");
    const Symbol global = Symbol::global();
    const std::pair<FeatureKey, const char*> cases[] = {
        {FeatureKey::field_of(btc, ScalarField::Price), "field:symbol=3:btc:source=field.price"},
        {FeatureKey::timed(FeatureKind::SmaTimed, btc, PRICE, ms(1000), ms(5000),
                           WarmupPolicy::FirstValue),
         "sma_timed:symbol=3:btc:source=field.price:aggregation_ns=1000000000:window_ns="
         "5000000000:warmup=first_value"},
        {FeatureKey::book_price_query(FeatureKind::OrderBookLevelSize, btc, Side::Bid,
                                      dec("100.5")),
         "order_book_level_size:symbol=3:btc:source=order_book:side=bid:price=100.5"},
        {FeatureKey::context(global, "rate"),
         "context:symbol=10:__global__:source=context:name=4:rate"},
        {FeatureKey::day_of_week(global, FeatureSource::any_event()),
         "day_of_week:symbol=10:__global__:source=any_event"},
    };
    for (const auto& [key, id] : cases) EXPECT_EQ(feature_id_from_key(key), id);
}

TEST(FeatureId, EveryKindSuffix) {
    const Symbol s = *intern("ETH");
    const std::pair<FeatureKey, const char*> cases[] = {
        {FeatureKey::book_nth(FeatureKind::OrderBookNthPrice, s, Side::Ask, 3),
         "order_book_nth_price:symbol=3:eth:source=order_book:side=ask:n_levels=3"},
        {FeatureKey::book_nth(FeatureKind::OrderBookNthSize, s, Side::Bid, 10),
         "order_book_nth_size:symbol=3:eth:source=order_book:side=bid:n_levels=10"},
        {FeatureKey::book_price_query(FeatureKind::OrderBookDepthUntilPrice, s, Side::Ask,
                                      dec("2.000")),
         "order_book_depth_until_price:symbol=3:eth:source=order_book:side=ask:price=2"},
        {FeatureKey::book_size_query(FeatureKind::OrderBookDepthUntilSizePriceFrom, s, Side::Bid,
                                     dec("0.50")),
         "order_book_depth_until_size_price_from:symbol=3:eth:source=order_book:side=bid:size=0.5"},
        {FeatureKey::book_size_query(FeatureKind::OrderBookDepthUntilSizePriceTo, s, Side::Bid,
                                     dec("5")),
         "order_book_depth_until_size_price_to:symbol=3:eth:source=order_book:side=bid:size=5"},
        {FeatureKey::book_size_query(FeatureKind::OrderBookDepthUntilSizeTotalSize, s, Side::Ask,
                                     dec("-1")),
         "order_book_depth_until_size_total_size:symbol=3:eth:source=order_book:side=ask:size=-1"},
        {FeatureKey::book_volume_between(s, Side::Bid, dec("99.50"), dec("100")),
         "order_book_volume_between_prices:symbol=3:eth:source=order_book:side=bid:from_price="
         "99.5:to_price=100"},
        {FeatureKey::book_scalar(FeatureKind::OrderBookBestBidPrice, s),
         "order_book_best_bid_price:symbol=3:eth:source=order_book"},
        {FeatureKey::book_scalar(FeatureKind::OrderBookBestBidSize, s),
         "order_book_best_bid_size:symbol=3:eth:source=order_book"},
        {FeatureKey::book_scalar(FeatureKind::OrderBookBestAskPrice, s),
         "order_book_best_ask_price:symbol=3:eth:source=order_book"},
        {FeatureKey::book_scalar(FeatureKind::OrderBookBestAskSize, s),
         "order_book_best_ask_size:symbol=3:eth:source=order_book"},
        {FeatureKey::book_scalar(FeatureKind::OrderBookMidPrice, s),
         "order_book_mid_price:symbol=3:eth:source=order_book"},
        {FeatureKey::book_scalar(FeatureKind::OrderBookSpread, s),
         "order_book_spread:symbol=3:eth:source=order_book"},
        {FeatureKey::book_scalar(FeatureKind::OrderBookSpreadBps, s),
         "order_book_spread_bps:symbol=3:eth:source=order_book"},
        {FeatureKey::book_scalar(FeatureKind::OrderBookWeightedMidPrice, s),
         "order_book_weighted_mid_price:symbol=3:eth:source=order_book"},
        {FeatureKey::book_scalar(FeatureKind::OrderBookMicroprice, s),
         "order_book_microprice:symbol=3:eth:source=order_book"},
        {FeatureKey::book_imbalance(s, 5), "order_book_imbalance:symbol=3:eth:source=order_book:n_levels=5"},
        {FeatureKey::field_of(s, ScalarField::TradeVolume), "field:symbol=3:eth:source=field.trade_volume"},
        {FeatureKey::cvd(s, TRADES, 20, WarmupPolicy::FullWindow),
         "cvd:symbol=3:eth:source=event.trade:window=20:warmup=full_window"},
        {FeatureKey::returns(s, PRICE, 1, false), "simple_return:symbol=3:eth:source=field.price:lag=1"},
        {FeatureKey::returns(s, PRICE, 4, true), "log_return:symbol=3:eth:source=field.price:lag=4"},
        {FeatureKey::volatility(s, FeatureSource::of_field(ScalarField::Volume), 5,
                                WarmupPolicy::FirstValue),
         "volatility:symbol=3:eth:source=field.volume:window=5:warmup=first_value"},
        {FeatureKey::timed(FeatureKind::VolatilityTimed, s, PRICE, ms(1500), ms(3000),
                           WarmupPolicy::FullWindow),
         "volatility_timed:symbol=3:eth:source=field.price:aggregation_ns=1500000000:window_ns="
         "3000000000:warmup=full_window"},
        {FeatureKey::timed(FeatureKind::ObvTimed, s, TRADES, Duration{0, 250'000}, ms(1),
                           WarmupPolicy::FirstValue),
         "obv_timed:symbol=3:eth:source=event.trade:aggregation_ns=250000:window_ns=1000000:"
         "warmup=first_value"},
        {FeatureKey::timed(FeatureKind::TradeCountTimed, s, TRADES, ms(1000), ms(60000),
                           WarmupPolicy::FirstValue),
         "trade_count_timed:symbol=3:eth:source=event.trade:aggregation_ns=1000000000:window_ns="
         "60000000000:warmup=first_value"},
        {FeatureKey::timed(FeatureKind::TradeVolumeTimed, s, TRADES, ms(1), ms(1),
                           WarmupPolicy::FirstValue),
         "trade_volume_timed:symbol=3:eth:source=event.trade:aggregation_ns=1000000:window_ns="
         "1000000:warmup=first_value"},
        {FeatureKey::timed(FeatureKind::VwapTimed, s, TRADES, Duration{18446744073709551615ull, 999'999'999},
                           ms(1), WarmupPolicy::FirstValue),
         "vwap_timed:symbol=3:eth:source=event.trade:aggregation_ns=18446744073709551615999999999:"
         "window_ns=1000000:warmup=first_value"},
        {FeatureKey::vpt(s, TRADES), "vpt:symbol=3:eth:source=event.trade"},
        {FeatureKey::day_of_week(s, FeatureSource::of_event(EventKind::OrderBookSnapshot)),
         "day_of_week:symbol=3:eth:source=event.order_book_snapshot"},
        {FeatureKey::time_since_first_event_of_day(Symbol::global(), FeatureSource::any_event(),
                                                   -18'000'000),
         "time_since_first_event_of_day:symbol=10:__global__:source=any_event:utc_offset_ms=-18000000"},
        {FeatureKey::time_since_first_event_of_day(s, FeatureSource::of_event(EventKind::Time),
                                                   10'800'000),
         "time_since_first_event_of_day:symbol=3:eth:source=event.time:utc_offset_ms=10800000"},
        {FeatureKey::cvd(s, FeatureSource::of_event(EventKind::OrderBookDelta), 1,
                         WarmupPolicy::FirstValue),
         "cvd:symbol=3:eth:source=event.order_book_delta:window=1:warmup=first_value"},
    };
    for (const auto& [key, id] : cases) EXPECT_EQ(feature_id_from_key(key), id);
}

TEST(FeatureId, LengthPrefixesCountBytesAndKeepColonsUnambiguous) {
    const Symbol colon = *intern("a:b");
    const Symbol plain = *intern("a");
    // "名前x": three characters, seven bytes.
    const Symbol wide = *intern("\xE5\x90\x8D\xE5\x89\x8Dx");
    EXPECT_EQ(feature_id_from_key(FeatureKey::field_of(colon, ScalarField::Price)),
              "field:symbol=3:a:b:source=field.price");
    EXPECT_EQ(feature_id_from_key(FeatureKey::field_of(wide, ScalarField::Price)),
              "field:symbol=7:\xE5\x90\x8D\xE5\x89\x8Dx:source=field.price");
    EXPECT_NE(feature_id_from_key(FeatureKey::context(colon, "c")),
              feature_id_from_key(FeatureKey::context(plain, "b:c")));
    EXPECT_EQ(feature_id_from_key(FeatureKey::context(plain, "x:y")),
              "context:symbol=1:a:source=context:name=3:x:y");
}

TEST(FeatureKey, DecimalsCompareAndHashNumerically) {
    const Symbol s = *intern("btc");
    const auto a = FeatureKey::book_price_query(FeatureKind::OrderBookLevelSize, s, Side::Bid,
                                                dec("100.500"));
    const auto b = FeatureKey::book_price_query(FeatureKind::OrderBookLevelSize, s, Side::Bid,
                                                dec("100.5"));
    EXPECT_EQ(a, b);
    EXPECT_EQ(FeatureKeyHash{}(a), FeatureKeyHash{}(b));
    EXPECT_EQ(feature_id_from_key(a), feature_id_from_key(b));
    const auto c = FeatureKey::book_price_query(FeatureKind::OrderBookLevelSize, s, Side::Ask,
                                                dec("100.5"));
    EXPECT_NE(a, c);
    const auto zero = FeatureKey::book_price_query(FeatureKind::OrderBookDepthUntilPrice, s,
                                                   Side::Bid, dec("-0.00"));
    const auto plain_zero = FeatureKey::book_price_query(FeatureKind::OrderBookDepthUntilPrice, s,
                                                         Side::Bid, dec("0"));
    EXPECT_EQ(zero, plain_zero);
    EXPECT_EQ(FeatureKeyHash{}(zero), FeatureKeyHash{}(plain_zero));
}

TEST(FeatureKey, IndicatorKindMapping) {
    const Symbol s = *intern("btc");
    EXPECT_EQ(indicator_kind(FeatureKey::returns(s, PRICE, 1, true)), IndicatorKind::LogReturn);
    EXPECT_EQ(indicator_kind(FeatureKey::returns(s, PRICE, 1, false)), IndicatorKind::SimpleReturn);
    EXPECT_EQ(indicator_kind(FeatureKey::book_nth(FeatureKind::OrderBookNthSize, s, Side::Bid, 1)),
              IndicatorKind::OrderBookNthSize);
    EXPECT_EQ(indicator_kind(FeatureKey::context(s, "x")), IndicatorKind::Context);
    EXPECT_EQ(indicator_kind(FeatureKey::timed(FeatureKind::SmaTimed, s, PRICE, ms(1), ms(1),
                                               WarmupPolicy::FirstValue)),
              IndicatorKind::SmaTimed);
}

TEST(FeatureId, ReservedNamespace) {
    const std::pair<const char*, bool> cases[] = {
        {"__reserved_", true},   {"__reserved_0", true}, {"__reserved_anything", true},
        {"__reserved", false},   {"_reserved_x", false}, {"__Reserved_1", false},
        {"x__reserved_", false}, {"", false},
    };
    for (const auto& [id, reserved] : cases) EXPECT_EQ(is_reserved_feature_id(id), reserved) << id;
}

}  // namespace
}  // namespace zelk
