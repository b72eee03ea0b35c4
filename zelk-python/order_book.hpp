// OrderBookEvent: one validated order-book snapshot or delta, built once
// from exact decimal strings and fed to any number of runtimes.
//
// The payload never changes after construction; every use hands the core a
// fresh copy, so the Python object is never consumed.
#pragma once

#include <variant>

#include <nanobind/nanobind.h>

#include "zelk/event.hpp"

namespace zelk::python {

class OrderBookEvent {
public:
    using Payload = std::variant<OrderBookSnapshotEvent, OrderBookDeltaEvent>;

    explicit OrderBookEvent(Payload payload) : payload_(std::move(payload)) {}

    // A new core event holding a copy of the payload.
    Event event() const;
    Symbol symbol() const;

private:
    Payload payload_;
};


}  // namespace zelk::python
