// Event: one owned market event of one of six kinds.
//
// Scalar events (price, volume, trade, time) are small and trivially
// copyable; book events own their level lists, which move into the order
// book when the event is applied. Every kind has a timestamp; every kind but
// Time has a symbol, and Time reports the global symbol.
#pragma once

#include <optional>
#include <variant>

#include "zelk/error.hpp"
#include "zelk/order_book/order_book_update.hpp"
#include "zelk/types.hpp"

namespace zelk {

struct PriceEvent {
    double price;
    Timestamp timestamp;
    Symbol symbol;
};
struct VolumeEvent {
    double volume;
    Timestamp timestamp;
    Symbol symbol;
};
struct TradeEvent {
    double price;
    double volume;
    Timestamp timestamp;
    Symbol symbol;
    std::optional<AggressorSide> side;
};
struct OrderBookDeltaEvent {
    OrderBookDelta delta;
    Timestamp timestamp;
    Symbol symbol;
};
struct OrderBookSnapshotEvent {
    OrderBookSnapshot snapshot;
    Timestamp timestamp;
    Symbol symbol;
};
struct TimeEvent {
    Timestamp timestamp;
};

class Event {
public:
    // Alternatives are in EventKind order, so index() is the kind ordinal.
    using Payload = std::variant<PriceEvent, VolumeEvent, TradeEvent, OrderBookDeltaEvent,
                                 OrderBookSnapshotEvent, TimeEvent>;

    Event(PriceEvent e) : payload_(e) {}                         // NOLINT: implicit by design
    Event(VolumeEvent e) : payload_(e) {}                        // NOLINT
    Event(TradeEvent e) : payload_(e) {}                         // NOLINT
    Event(OrderBookDeltaEvent e) : payload_(std::move(e)) {}     // NOLINT
    Event(OrderBookSnapshotEvent e) : payload_(std::move(e)) {}  // NOLINT
    Event(TimeEvent e) : payload_(e) {}                          // NOLINT

    static Event price(Symbol symbol, Timestamp timestamp, double price) {
        return PriceEvent{price, timestamp, symbol};
    }
    static Event volume(Symbol symbol, Timestamp timestamp, double volume) {
        return VolumeEvent{volume, timestamp, symbol};
    }
    static Event trade(Symbol symbol, Timestamp timestamp, double price, double volume,
                       std::optional<AggressorSide> side = std::nullopt) {
        return TradeEvent{price, volume, timestamp, symbol, side};
    }
    static Event time(Timestamp timestamp) { return TimeEvent{timestamp}; }

    EventKind kind() const { return static_cast<EventKind>(payload_.index()); }
    Timestamp timestamp() const;
    // The event's symbol; the global symbol for Time events.
    Symbol symbol() const;
    bool is_order_book_event() const {
        return kind() == EventKind::OrderBookDelta || kind() == EventKind::OrderBookSnapshot;
    }

    // Price, volume and both trade fields must be finite, checked in that
    // order; book payloads are exact decimals and always pass.
    Status validate_finite_values() const;

    // Moves the book payload out; nullopt for every other kind. The event's
    // lists are empty afterwards.
    std::optional<OrderBookUpdate> into_order_book_update();

    const Payload& payload() const { return payload_; }
    template <typename T>
    const T* get_if() const {
        return std::get_if<T>(&payload_);
    }

private:
    Payload payload_;
};

}  // namespace zelk
