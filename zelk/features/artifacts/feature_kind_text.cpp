#include "zelk/features/artifacts/feature_kind_text.hpp"

#include <array>

namespace zelk::artifact {

namespace {

struct Entry {
    std::string_view text;
    KindText kind;
};

constexpr std::array<Entry, FEATURE_KIND_COUNT + 1> KINDS{{
    {"context", {FeatureKind::Context, false}},
    {"order_book_level_size", {FeatureKind::OrderBookLevelSize, false}},
    {"order_book_nth_price", {FeatureKind::OrderBookNthPrice, false}},
    {"order_book_nth_size", {FeatureKind::OrderBookNthSize, false}},
    {"order_book_depth_until_price", {FeatureKind::OrderBookDepthUntilPrice, false}},
    {"order_book_depth_until_size_price_from",
     {FeatureKind::OrderBookDepthUntilSizePriceFrom, false}},
    {"order_book_depth_until_size_price_to", {FeatureKind::OrderBookDepthUntilSizePriceTo, false}},
    {"order_book_depth_until_size_total_size",
     {FeatureKind::OrderBookDepthUntilSizeTotalSize, false}},
    {"order_book_volume_between_prices", {FeatureKind::OrderBookVolumeBetweenPrices, false}},
    {"order_book_best_bid_price", {FeatureKind::OrderBookBestBidPrice, false}},
    {"order_book_best_bid_size", {FeatureKind::OrderBookBestBidSize, false}},
    {"order_book_best_ask_price", {FeatureKind::OrderBookBestAskPrice, false}},
    {"order_book_best_ask_size", {FeatureKind::OrderBookBestAskSize, false}},
    {"order_book_mid_price", {FeatureKind::OrderBookMidPrice, false}},
    {"order_book_spread", {FeatureKind::OrderBookSpread, false}},
    {"order_book_spread_bps", {FeatureKind::OrderBookSpreadBps, false}},
    {"order_book_weighted_mid_price", {FeatureKind::OrderBookWeightedMidPrice, false}},
    {"order_book_microprice", {FeatureKind::OrderBookMicroprice, false}},
    {"order_book_imbalance", {FeatureKind::OrderBookImbalance, false}},
    {"field", {FeatureKind::Field, false}},
    {"cvd", {FeatureKind::Cvd, false}},
    {"simple_return", {FeatureKind::Returns, false}},
    {"log_return", {FeatureKind::Returns, true}},
    {"volatility", {FeatureKind::Volatility, false}},
    {"sma_timed", {FeatureKind::SmaTimed, false}},
    {"volatility_timed", {FeatureKind::VolatilityTimed, false}},
    {"obv_timed", {FeatureKind::ObvTimed, false}},
    {"vpt", {FeatureKind::Vpt, false}},
    {"trade_count_timed", {FeatureKind::TradeCountTimed, false}},
    {"trade_volume_timed", {FeatureKind::TradeVolumeTimed, false}},
    {"vwap_timed", {FeatureKind::VwapTimed, false}},
    {"day_of_week", {FeatureKind::DayOfWeek, false}},
    {"time_since_first_event_of_day", {FeatureKind::TimeSinceFirstEventOfDay, false}},
}};

}  // namespace

std::string_view kind_text(FeatureKind kind, bool log) {
    for (const Entry& e : KINDS) {
        if (e.kind.kind == kind && (kind != FeatureKind::Returns || e.kind.log == log)) {
            return e.text;
        }
    }
    return "";
}

std::optional<KindText> parse_kind_text(std::string_view text) {
    for (const Entry& e : KINDS) {
        if (e.text == text) return e.kind;
    }
    return std::nullopt;
}

}  // namespace zelk::artifact
