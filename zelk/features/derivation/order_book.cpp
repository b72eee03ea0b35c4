#include "zelk/features/derivation/order_book.hpp"

#include <algorithm>
#include <limits>

namespace zelk {

namespace {

constexpr double NO_VALUE = std::numeric_limits<double>::quiet_NaN();

double cell_value(const std::optional<ExactDecimal>& value) {
    return value ? value->to_f64() : NO_VALUE;
}

std::optional<ExactDecimal> price_of(const std::optional<Level>& level) {
    if (!level) return std::nullopt;
    return level->price;
}

std::optional<ExactDecimal> size_of(const std::optional<Level>& level) {
    if (!level) return std::nullopt;
    return level->size;
}

bool same_level(const std::optional<Level>& a, const std::optional<Level>& b) {
    if (!a || !b) return !a && !b;
    return same_representation(a->price, b->price) && same_representation(a->size, b->size);
}

}  // namespace

OrderBookDerivation OrderBookDerivation::create(const FeatureKey& query,
                                                std::span<const uint64_t> depths) {
    OrderBookDerivation derivation(query);
    derivation.query_.name.clear();  // book keys carry no name; keep the object lean
    derivation.depth_count_ = std::min(depths.size(), MAX_DEPTHS);
    std::copy_n(depths.begin(), derivation.depth_count_, derivation.depths_.begin());
    return derivation;
}

void OrderBookDerivation::evaluate(const OrderBook& book, const BookTop& top,
                                   std::span<double> out) {
    if (query_.kind == FeatureKind::OrderBookImbalance) {
        evaluate_imbalances(book, out);
    } else if (!out.empty()) {
        out[0] = reads_top_only() ? evaluate_top(top) : cell_value(book_query(book));
    }
}

bool OrderBookDerivation::reads_top_only() const {
    switch (query_.kind) {
        case FeatureKind::OrderBookBestBidPrice:
        case FeatureKind::OrderBookBestBidSize:
        case FeatureKind::OrderBookBestAskPrice:
        case FeatureKind::OrderBookBestAskSize:
        case FeatureKind::OrderBookMidPrice:
        case FeatureKind::OrderBookSpread:
        case FeatureKind::OrderBookSpreadBps:
        case FeatureKind::OrderBookWeightedMidPrice:
        case FeatureKind::OrderBookMicroprice:
            return true;
        default:
            return false;
    }
}

double OrderBookDerivation::evaluate_top(const BookTop& top) {
    if (top_known_ && same_level(top.bid, last_top_.bid) && same_level(top.ask, last_top_.ask)) {
        return last_top_value_;
    }
    last_top_value_ = cell_value(top_query(top));
    last_top_ = top;
    top_known_ = true;
    return last_top_value_;
}

void OrderBookDerivation::evaluate_imbalances(const OrderBook& book, std::span<double> out) {
    std::array<std::optional<ExactDecimal>, MAX_DEPTHS> bids;
    std::array<std::optional<ExactDecimal>, MAX_DEPTHS> asks;
    const size_t n = std::min(out.size(), depth_count_);
    imbalance_sums(book, std::span(depths_).first(n), std::span(bids).first(n),
                   std::span(asks).first(n));
    for (size_t i = 0; i < n; ++i) {
        if (!bids[i] || !asks[i]) {
            sums_known_[i] = false;
            out[i] = NO_VALUE;
            continue;
        }
        if (!sums_known_[i] || !same_representation(*bids[i], last_bids_[i]) ||
            !same_representation(*asks[i], last_asks_[i])) {
            last_imbalances_[i] = cell_value(imbalance_of(bids[i], asks[i]));
            last_bids_[i] = *bids[i];
            last_asks_[i] = *asks[i];
            sums_known_[i] = true;
        }
        out[i] = last_imbalances_[i];
    }
}

std::optional<ExactDecimal> OrderBookDerivation::top_query(const BookTop& top) const {
    switch (query_.kind) {
        case FeatureKind::OrderBookBestBidPrice:
            return price_of(top.bid);
        case FeatureKind::OrderBookBestBidSize:
            return size_of(top.bid);
        case FeatureKind::OrderBookBestAskPrice:
            return price_of(top.ask);
        case FeatureKind::OrderBookBestAskSize:
            return size_of(top.ask);
        case FeatureKind::OrderBookMidPrice:
            return mid_price(top);
        case FeatureKind::OrderBookSpread:
            return spread(top);
        case FeatureKind::OrderBookSpreadBps:
            return spread_bps(top);
        case FeatureKind::OrderBookWeightedMidPrice:
            return weighted_mid_price(top);
        case FeatureKind::OrderBookMicroprice:
            return microprice(top);
        default:
            return std::nullopt;
    }
}

std::optional<ExactDecimal> OrderBookDerivation::book_query(const OrderBook& book) const {
    const FeatureKey& q = query_;
    switch (q.kind) {
        case FeatureKind::OrderBookLevelSize:
            return level(book, q.side, q.price);
        case FeatureKind::OrderBookNthPrice:
            return price_of(nth_level(book, q.side, q.n_levels));
        case FeatureKind::OrderBookNthSize:
            return size_of(nth_level(book, q.side, q.n_levels));
        case FeatureKind::OrderBookDepthUntilPrice:
            return depth_until_price(book, q.side, q.price);
        case FeatureKind::OrderBookDepthUntilSizePriceFrom:
        case FeatureKind::OrderBookDepthUntilSizePriceTo:
        case FeatureKind::OrderBookDepthUntilSizeTotalSize: {
            const auto depth = depth_until_total_size(book, q.side, q.size);
            if (!depth) return std::nullopt;
            if (q.kind == FeatureKind::OrderBookDepthUntilSizePriceFrom) return depth->price_from;
            if (q.kind == FeatureKind::OrderBookDepthUntilSizePriceTo) return depth->price_to;
            return depth->total_size;
        }
        case FeatureKind::OrderBookVolumeBetweenPrices: {
            // An empty range is refused when the spec is validated; here it
            // would only read as no value.
            auto volume = volume_between_prices(book, q.side, q.price, q.price_to);
            return volume ? *volume : std::nullopt;
        }
        default:
            return std::nullopt;
    }
}

}  // namespace zelk
