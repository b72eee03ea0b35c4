#include "zelk/features/derivation/order_book.hpp"

#include <algorithm>

#include "zelk/order_book/queries.hpp"

namespace zelk {

OrderBookDerivation OrderBookDerivation::create(const FeatureKey& query,
                                                std::span<const uint64_t> depths) {
    OrderBookDerivation derivation(query);
    derivation.query_.name.clear();  // book keys carry no name; keep the object lean
    derivation.depth_count_ = std::min(depths.size(), MAX_DEPTHS);
    std::copy_n(depths.begin(), derivation.depth_count_, derivation.depths_.begin());
    return derivation;
}

void OrderBookDerivation::evaluate(const OrderBook& book,
                                   std::span<std::optional<ExactDecimal>> out) const {
    if (query_.kind == FeatureKind::OrderBookImbalance) {
        // All depths in one walk of each side.
        imbalances(book, std::span(depths_).first(depth_count_), out);
        return;
    }
    if (!out.empty()) out[0] = evaluate_single(book);
}

std::optional<ExactDecimal> OrderBookDerivation::evaluate_single(const OrderBook& book) const {
    const FeatureKey& q = query_;
    auto price_of = [](const std::optional<Level>& l) -> std::optional<ExactDecimal> {
        if (!l) return std::nullopt;
        return l->price;
    };
    auto size_of = [](const std::optional<Level>& l) -> std::optional<ExactDecimal> {
        if (!l) return std::nullopt;
        return l->size;
    };
    switch (q.kind) {
        case FeatureKind::OrderBookLevelSize: return level(book, q.side, q.price);
        case FeatureKind::OrderBookNthPrice: return price_of(nth_level(book, q.side, q.n_levels));
        case FeatureKind::OrderBookNthSize: return size_of(nth_level(book, q.side, q.n_levels));
        case FeatureKind::OrderBookDepthUntilPrice: return depth_until_price(book, q.side, q.price);
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
        case FeatureKind::OrderBookBestBidPrice: return price_of(best_bid(book));
        case FeatureKind::OrderBookBestBidSize: return size_of(best_bid(book));
        case FeatureKind::OrderBookBestAskPrice: return price_of(best_ask(book));
        case FeatureKind::OrderBookBestAskSize: return size_of(best_ask(book));
        case FeatureKind::OrderBookMidPrice: return mid_price(book);
        case FeatureKind::OrderBookSpread: return spread(book);
        case FeatureKind::OrderBookSpreadBps: return spread_bps(book);
        case FeatureKind::OrderBookWeightedMidPrice: return weighted_mid_price(book);
        case FeatureKind::OrderBookMicroprice: return microprice(book);
        default: return std::nullopt;
    }
}

}  // namespace zelk
