// Python binding of OrderBookEvent: two static constructors and no other
// surface. Every price, size and side is checked here, so a malformed value
// is reported when the event is built rather than in the middle of a replay.
#include "zelk-python/order_book.hpp"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include <nanobind/stl/pair.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/string_view.h>
#include <nanobind/stl/tuple.h>
#include <nanobind/stl/vector.h>

#include "zelk-python/arguments.hpp"
#include "zelk-python/fast_call.hpp"
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

// The text cells of one (price, size) pair or (side, price, size) triple.
template <size_t N>
using TextRow = std::array<std::string_view, N>;
using TextPairs = std::vector<TextRow<2>>;
using TextTriples = std::vector<TextRow<3>>;

// Views of rows converted by the binding layer.
template <size_t N, typename Row>
std::vector<TextRow<N>> text_rows(const std::vector<Row>& rows) {
    std::vector<TextRow<N>> views;
    views.reserve(rows.size());
    for (const Row& row : rows) {
        std::apply([&](const auto&... cells) { views.push_back({std::string_view(cells)...}); },
                   row);
    }
    return views;
}

std::vector<Level> to_levels(const TextPairs& pairs) {
    std::vector<Level> levels;
    levels.reserve(pairs.size());
    for (const auto& [price, size] : pairs) {
        // The price of a pair is checked before its size.
        ExactDecimal parsed_price = parse_book_value(price);
        levels.push_back(Level{parsed_price, parse_book_value(size)});
    }
    return levels;
}

OrderBookEvent make_snapshot(std::string_view symbol, Timestamp timestamp, uint64_t update_id,
                             const TextPairs& bids, const TextPairs& asks) {
    const Symbol interned = intern_symbol(symbol);
    std::vector<Level> bid_levels = to_levels(bids);
    std::vector<Level> ask_levels = to_levels(asks);
    return OrderBookEvent(OrderBookSnapshotEvent{
        OrderBookSnapshot{std::move(bid_levels), std::move(ask_levels), update_id}, timestamp,
        interned});
}

OrderBookEvent make_delta(std::string_view symbol, Timestamp timestamp, uint64_t update_id,
                          const TextTriples& changes) {
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

OrderBookEvent snapshot(std::string_view symbol, Timestamp timestamp, uint64_t update_id,
                        const std::vector<PricePair>& bids, const std::vector<PricePair>& asks) {
    return make_snapshot(symbol, timestamp, update_id, text_rows<2>(bids), text_rows<2>(asks));
}

OrderBookEvent delta(std::string_view symbol, Timestamp timestamp, uint64_t update_id,
                     const std::vector<ChangeTriple>& changes) {
    return make_delta(symbol, timestamp, update_id, text_rows<3>(changes));
}

// Fast calls (see fast_call.hpp): positional arguments of exactly str, int
// and lists or tuples of lists or tuples of str are read here without
// copying the texts; every other call goes to the binding's dispatcher.
// Reading has no side effect, so a call that does not fit is simply passed
// on.

// The UTF-8 text of an exact str.
bool read_text(PyObject* object, std::string_view& out) {
    if (!PyUnicode_CheckExact(object)) return false;
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(object, &size);
    if (data == nullptr) {
        PyErr_Clear();  // the dispatcher reports it
        return false;
    }
    out = std::string_view(data, static_cast<size_t>(size));
    return true;
}

// A list or tuple of lists or tuples of N str.
template <size_t N>
bool read_text_rows(PyObject* object, std::vector<TextRow<N>>& out) {
    if (!PyList_CheckExact(object) && !PyTuple_CheckExact(object)) return false;
    const Py_ssize_t count = PySequence_Fast_GET_SIZE(object);
    PyObject** items = PySequence_Fast_ITEMS(object);
    out.resize(static_cast<size_t>(count));
    for (Py_ssize_t i = 0; i < count; ++i) {
        PyObject* row = items[i];
        if ((!PyList_CheckExact(row) && !PyTuple_CheckExact(row)) ||
            PySequence_Fast_GET_SIZE(row) != static_cast<Py_ssize_t>(N)) {
            return false;
        }
        PyObject** cells = PySequence_Fast_ITEMS(row);
        for (size_t c = 0; c < N; ++c) {
            if (!read_text(cells[c], out[static_cast<size_t>(i)][c])) return false;
        }
    }
    return true;
}

// symbol, timestamp, update_id: the arguments both constructors start with.
bool read_header(PyObject* const* args, std::string_view& symbol, Timestamp& timestamp,
                 uint64_t& update_id) {
    long long time = 0;
    long long id = 0;
    if (!read_text(args[0], symbol) ||
        !fast_call::read_exact_int(args[1], INT64_MIN, INT64_MAX, time) ||
        !fast_call::read_exact_int(args[2], 0, INT64_MAX, id)) {
        return false;
    }
    timestamp = time;
    update_id = static_cast<uint64_t>(id);
    return true;
}

template <typename Build>
PyObject* build_object(Build&& build) noexcept {
    try {
        return nb::cast(build()).release().ptr();
    } catch (...) {
        fast_call::set_error_from_exception();
        return nullptr;
    }
}

vectorcallfunc snapshot_dispatcher = nullptr;
vectorcallfunc delta_dispatcher = nullptr;

PyObject* fast_snapshot(PyObject* callable, PyObject* const* args, size_t nargsf,
                        PyObject* kwnames) noexcept {
    std::string_view symbol;
    Timestamp timestamp = 0;
    uint64_t update_id = 0;
    TextPairs bids;
    TextPairs asks;
    if (PyVectorcall_NARGS(nargsf) != 5 || kwnames != nullptr ||
        !read_header(args, symbol, timestamp, update_id) || !read_text_rows(args[3], bids) ||
        !read_text_rows(args[4], asks)) {
        return snapshot_dispatcher(callable, args, nargsf, kwnames);
    }
    return build_object([&] { return make_snapshot(symbol, timestamp, update_id, bids, asks); });
}

PyObject* fast_delta(PyObject* callable, PyObject* const* args, size_t nargsf,
                     PyObject* kwnames) noexcept {
    std::string_view symbol;
    Timestamp timestamp = 0;
    uint64_t update_id = 0;
    TextTriples changes;
    if (PyVectorcall_NARGS(nargsf) != 4 || kwnames != nullptr ||
        !read_header(args, symbol, timestamp, update_id) || !read_text_rows(args[3], changes)) {
        return delta_dispatcher(callable, args, nargsf, kwnames);
    }
    return build_object([&] { return make_delta(symbol, timestamp, update_id, changes); });
}

}  // namespace

void add_order_book_event(nb::module_& m) {
    // The "OrderBookEvent()\n--\n\n" prefix is CPython's internal signature
    // form: it becomes __text_signature__ and is stripped from __doc__.
    nb::class_<OrderBookEvent> cls(
        m, "OrderBookEvent",
        "OrderBookEvent()\n--\n\n"
        "Immutable, validated snapshot or delta with exact decimal price/size values.\n"
        "Construction owns payload allocation; both Python runtimes reuse core dispatch.");
    cls.def_static("snapshot", &snapshot, nb::arg("symbol"), nb::arg("timestamp"),
                   nb::arg("update_id"), nb::arg("bids"), nb::arg("asks"),
                   "Builds a snapshot from (price, size) pairs of exact decimal strings.")
        .def_static("delta", &delta, nb::arg("symbol"), nb::arg("timestamp"), nb::arg("update_id"),
                    nb::arg("changes"),
                    "Builds a delta from (side, price, size) triples; zero sizes delete levels.");
    snapshot_dispatcher = fast_call::install(cls, "snapshot", &fast_snapshot);
    delta_dispatcher = fast_call::install(cls, "delta", &fast_delta);
}

}  // namespace zelk::python
