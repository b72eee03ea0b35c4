#include "zelk/features/event_router.hpp"

#include <algorithm>

namespace zelk {

namespace {

ZelkError limit_exceeded(LimitTarget target, uint64_t count) {
    return ZelkError{arg::LimitExceeded{target, count, EventRouter::INDEX_LIMIT}};
}

// Appends `list` to `subscribers` and returns its range, or the limit error.
Result<SubscriberRange> flatten(const std::vector<uint16_t>& list,
                                std::vector<uint16_t>& subscribers) {
    const uint64_t start = subscribers.size();
    if (start > EventRouter::INDEX_LIMIT) {
        return std::unexpected(limit_exceeded(LimitTarget::Subscribers, start));
    }
    if (list.size() > EventRouter::INDEX_LIMIT) {
        return std::unexpected(limit_exceeded(LimitTarget::SubscriberGroup, list.size()));
    }
    subscribers.insert(subscribers.end(), list.begin(), list.end());
    return SubscriberRange{static_cast<uint16_t>(start), static_cast<uint16_t>(list.size())};
}

}  // namespace

Result<EventRouter> EventRouter::from_routes(std::span<const Route> routes) {
    using Pending = std::array<std::vector<uint16_t>, LISTS_PER_SYMBOL>;

    uint16_t largest_symbol = 0;
    bool any_symbol_route = false;
    for (const auto& [symbol, kind] : routes) {
        if (kind == RouteKind::Global) continue;
        any_symbol_route = true;
        largest_symbol = std::max(largest_symbol, symbol.id);
    }

    EventRouter router;
    if (any_symbol_route) router.symbol_router_.assign(size_t{largest_symbol} + 1, NOT_ROUTED);

    std::vector<Pending> pending;
    std::vector<uint16_t> global;
    for (size_t d = 0; d < routes.size(); ++d) {
        if (d > INDEX_LIMIT) {
            return std::unexpected(limit_exceeded(LimitTarget::RuntimeFeatures, routes.size()));
        }
        const auto index = static_cast<uint16_t>(d);
        const auto [symbol, kind] = routes[d];
        if (kind == RouteKind::Global) {
            global.push_back(index);
            continue;
        }
        uint16_t& entry = router.symbol_router_[symbol.id];
        if (entry == NOT_ROUTED) {
            if (pending.size() > INDEX_LIMIT) {
                return std::unexpected(
                    limit_exceeded(LimitTarget::SymbolRouters, pending.size() + 1));
            }
            entry = static_cast<uint16_t>(pending.size());
            pending.emplace_back();
        }
        Pending& lists = pending[entry];
        const auto code = static_cast<uint8_t>(kind);
        if (kind == RouteKind::AnyMarketEvent) {
            for (size_t k = 0; k < EVENT_KIND_COUNT; ++k) lists[k].push_back(index);
        } else if (kind == RouteKind::OrderBook) {
            lists[BOOK_LIST].push_back(index);
        } else {
            lists[code].push_back(index);
        }
    }

    router.route_entries_.reserve(pending.size());
    for (const Pending& lists : pending) {
        std::array<SubscriberRange, LISTS_PER_SYMBOL> ranges{};
        for (size_t k = 0; k < LISTS_PER_SYMBOL; ++k) {
            auto range = flatten(lists[k], router.subscribers_);
            if (!range) return std::unexpected(std::move(range.error()));
            ranges[k] = *range;
        }
        router.route_entries_.push_back(ranges);
    }
    auto global_range = flatten(global, router.subscribers_);
    if (!global_range) return std::unexpected(std::move(global_range.error()));
    router.global_range_ = *global_range;
    return router;
}

}  // namespace zelk
