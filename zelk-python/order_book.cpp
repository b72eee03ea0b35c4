// Python binding of OrderBookEvent: two static constructors and no other
// surface. Every price, size and side is checked here, so a malformed value
// is reported when the event is built rather than in the middle of a replay.
#include "zelk-python/order_book.hpp"

#include <cstdint>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <nanobind/stl/pair.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/string_view.h>
#include <nanobind/stl/tuple.h>
#include <nanobind/stl/vector.h>

#include "zelk-python/arguments.hpp"
#include "zelk-python/module.hpp"

namespace zelk::python {

namespace nb = nanobind;

Event OrderBookEvent::event() const {
    return std::visit([](const auto& payload) { return Event(payload); }, payload_);
}

Symbol OrderBookEvent::symbol() const {
    return std::visit([](const auto& payload) { return payload.symbol; }, payload_);
}

namespace {

using PricePair = std::pair<std::string, std::string>;
using ChangeTriple = std::tuple<std::string, std::string, std::string>;

std::vector<Level> to_levels(const std::vector<PricePair>& pairs) {
    std::vector<Level> levels;
    levels.reserve(pairs.size());
    for (const auto& [price, size] : pairs) {
        // The price of a pair is checked before its size.
        ExactDecimal parsed_price = parse_book_value(price);
        levels.push_back(Level{parsed_price, parse_book_value(size)});
    }
    return levels;
}

OrderBookEvent snapshot(std::string_view symbol, Timestamp timestamp, uint64_t update_id,
                        const std::vector<PricePair>& bids, const std::vector<PricePair>& asks) {
    const Symbol interned = intern_symbol(symbol);
    std::vector<Level> bid_levels = to_levels(bids);
    std::vector<Level> ask_levels = to_levels(asks);
    return OrderBookEvent(OrderBookSnapshotEvent{
        OrderBookSnapshot{std::move(bid_levels), std::move(ask_levels), update_id}, timestamp,
        interned});
}

OrderBookEvent delta(std::string_view symbol, Timestamp timestamp, uint64_t update_id,
                     const std::vector<ChangeTriple>& changes) {
    std::vector<LevelChange> parsed;
    parsed.reserve(changes.size());
    for (const auto& [side, price, size] : changes) {
        const Side parsed_side = parse_book_side_argument(side);
        ExactDecimal parsed_price = parse_book_value(price);
        parsed.push_back(LevelChange{parsed_price, parse_book_value(size), parsed_side});
    }
    // Unlike a snapshot, the symbol of a delta is interned after its payload.
    const Symbol interned = intern_symbol(symbol);
    return OrderBookEvent(
        OrderBookDeltaEvent{OrderBookDelta{std::move(parsed), update_id}, timestamp, interned});
}

}  // namespace

void add_order_book_event(nb::module_& m) {
    // The "OrderBookEvent()\n--\n\n" prefix is CPython's internal signature
    // form: it becomes __text_signature__ and is stripped from __doc__.
    nb::class_<OrderBookEvent>(
        m, "OrderBookEvent",
        "OrderBookEvent()\n--\n\n"
        "Immutable, validated snapshot or delta with exact decimal price/size values.\n"
        "Construction owns payload allocation; both Python runtimes reuse core dispatch.")
        .def_static("snapshot", &snapshot, nb::arg("symbol"), nb::arg("timestamp"),
                    nb::arg("update_id"), nb::arg("bids"), nb::arg("asks"),
                    "Builds a snapshot from (price, size) pairs of exact decimal strings.")
        .def_static("delta", &delta, nb::arg("symbol"), nb::arg("timestamp"),
                    nb::arg("update_id"), nb::arg("changes"),
                    "Builds a delta from (side, price, size) triples; zero sizes delete levels.");
}

}  // namespace zelk::python
