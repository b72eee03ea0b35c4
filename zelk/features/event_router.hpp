// EventRouter: who subscribes to which events, as flat 16-bit index lists.
//
// Built once by the compiler from one route (symbol, RouteKind) per
// derivation and immutable afterwards. Routing an event costs two array
// lookups (symbol -> route entry, kind -> range) and yields a contiguous run
// of derivation indices in ascending order, which is the update order.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "zelk/error.hpp"
#include "zelk/types.hpp"

namespace zelk {

// Which events of its symbol a derivation sees. Codes 0 to 5 equal the
// EventKind ordinals.
enum class RouteKind : uint8_t {
    Price = 0,
    Volume = 1,
    Trade = 2,
    OrderBookDelta = 3,
    OrderBookSnapshot = 4,
    Time = 5,
    AnyMarketEvent = 6,  // every kind 0 to 5 of its symbol
    OrderBook = 7,       // evaluated after each committed change of its symbol's book
    Global = 8,          // every event of any symbol, gated by the watermark
};

using Route = std::pair<Symbol, RouteKind>;

// A run of `length` derivation indices starting at `start` in the router's
// subscriber array.
struct SubscriberRange {
    uint16_t start = 0;
    uint16_t length = 0;

    // REQUIRES: the range lies inside `subscribers`.
    std::span<const uint16_t> as_slice(std::span<const uint16_t> subscribers) const {
        return subscribers.subspan(start, length);
    }
    friend bool operator==(const SubscriberRange&, const SubscriberRange&) = default;
};

class EventRouter {
public:
    // Seven lists per routed symbol: one per event kind, then the book list.
    static constexpr size_t BOOK_LIST = 6;
    static constexpr size_t LISTS_PER_SYMBOL = 7;
    static constexpr uint64_t INDEX_LIMIT = 65535;

    // An empty router: no subscriber anywhere.
    EventRouter() = default;

    // One route per derivation, in derivation order. Fails with
    // LimitExceeded (RuntimeFeatures, SymbolRouters, Subscribers or
    // SubscriberGroup) when an index or range would not fit 16 bits.
    static Result<EventRouter> from_routes(std::span<const Route> routes);

    // Subscribers of `symbol` for events of `kind`; empty when not routed.
    std::span<const uint16_t> kind_subscribers(Symbol symbol, EventKind kind) const {
        return list(symbol, static_cast<size_t>(kind));
    }
    // Book derivations of `symbol`; empty when not routed.
    std::span<const uint16_t> book_subscribers(Symbol symbol) const {
        return list(symbol, BOOK_LIST);
    }
    std::span<const uint16_t> global_subscribers() const {
        return global_range_.as_slice(subscribers_);
    }

    // Raw access, for diagnostics and tests.
    std::span<const uint16_t> subscribers() const { return subscribers_; }
    size_t routed_symbol_count() const { return route_entries_.size(); }

private:
    static constexpr uint16_t NOT_ROUTED = UINT16_MAX;

    std::span<const uint16_t> list(Symbol symbol, size_t which) const {
        if (symbol.id >= symbol_router_.size()) return {};
        const uint16_t entry = symbol_router_[symbol.id];
        if (entry == NOT_ROUTED) return {};
        return route_entries_[entry][which].as_slice(subscribers_);
    }

    // Indexed by symbol id up to the largest routed symbol. Symbol ids are
    // below 512, so an entry index never reaches NOT_ROUTED.
    std::vector<uint16_t> symbol_router_;
    std::vector<std::array<SubscriberRange, LISTS_PER_SYMBOL>> route_entries_;
    std::vector<uint16_t> subscribers_;
    SubscriberRange global_range_;
};

}  // namespace zelk
