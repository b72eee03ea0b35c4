"""OrderBookEvent: construction, value rules and their check order, reuse."""

import math

import pytest
from conftest import run_isolated

import zelk
from zelk import FeatureExtractor, OrderBookEvent

NEGATIVE = "book prices and sizes must be nonnegative"
BAD_SIDE = "book side must be bid or ask"


def invalid_decimal(error):
    return f"invalid exact decimal: {error}"


def test_class_surface():
    assert OrderBookEvent.__doc__ == (
        "Immutable, validated snapshot or delta with exact decimal price/size values.\n"
        "Construction owns payload allocation; both Python runtimes reuse core dispatch."
    )
    assert OrderBookEvent.__text_signature__ == "()"
    assert OrderBookEvent.snapshot.__doc__.endswith(
        "\n\nBuilds a snapshot from (price, size) pairs of exact decimal strings."
    )
    assert OrderBookEvent.delta.__doc__.endswith(
        "\n\nBuilds a delta from (side, price, size) triples; zero sizes delete levels."
    )
    with pytest.raises(TypeError):
        OrderBookEvent()
    public = {name for name in dir(OrderBookEvent) if not name.startswith("_")}
    assert public == {"snapshot", "delta"}


def test_valid_events_are_built():
    snapshot = OrderBookEvent.snapshot("BTC", 1, 7, [("100.5", "2")], [("101", "0.000")])
    delta = OrderBookEvent.delta("btc", 2, 8, [("bid", "100.5", "0"), ("ask", "101", "3")])
    empty = OrderBookEvent.snapshot("btc", 3, 9, [], [])
    for event in (snapshot, delta, empty):
        assert isinstance(event, OrderBookEvent)
    # Lists and tuples are both accepted as pairs, triples and sequences.
    OrderBookEvent.snapshot("btc", 1, 1, (["1", "2"],), ())
    OrderBookEvent.delta("btc", 1, 1, (["ask", "1", "2"],))


@pytest.mark.parametrize(
    "bids, asks, message",
    [
        ([("-1", "1")], [], NEGATIVE),
        ([("1", "-0.5")], [], NEGATIVE),
        ([("1", "abc")], [], invalid_decimal("Invalid decimal: unknown character")),
        ([("", "1")], [], invalid_decimal("Invalid decimal: empty")),
        # The price of a pair is checked before its size.
        ([("-1", "abc")], [], NEGATIVE),
        # Bids are checked before asks, in order.
        (
            [("1", "1"), ("1", "x")],
            [("-1", "1")],
            invalid_decimal("Invalid decimal: unknown character"),
        ),
        ([], [("1", "1"), ("-2", "1")], NEGATIVE),
    ],
)
def test_snapshot_value_rules(bids, asks, message):
    with pytest.raises(ValueError) as error:
        OrderBookEvent.snapshot("btc", 1, 1, bids, asks)
    assert str(error.value) == message


@pytest.mark.parametrize(
    "changes, message",
    [
        ([("BID", "1", "1")], BAD_SIDE),
        ([("both", "1", "1")], BAD_SIDE),
        ([("bid", "-1", "1")], NEGATIVE),
        ([("ask", "1", "1e5")], invalid_decimal("Invalid decimal: unknown character")),
        # Side, then price, then size.
        ([("x", "-1", "abc")], BAD_SIDE),
        ([("bid", "abc", "-1")], invalid_decimal("Invalid decimal: unknown character")),
        # Changes in order: the first bad one wins.
        ([("bid", "1", "1"), ("ask", "-3", "1"), ("x", "1", "1")], NEGATIVE),
    ],
)
def test_delta_value_rules(changes, message):
    with pytest.raises(ValueError) as error:
        OrderBookEvent.delta("btc", 1, 1, changes)
    assert str(error.value) == message


class Text(str):
    pass


ROW_ARGUMENTS = {"snapshot": ("bids", "asks"), "delta": ("changes",)}


# snapshot() and delta() read positional exact str, int, list and tuple
# arguments themselves and hand every other accepted form to the general
# binding; all forms must build the same events and report the same errors.
@pytest.mark.parametrize(
    "call",
    [
        lambda build, *args: build(*args),
        lambda build, *args: build(*args[:3], **dict(zip(ROW_ARGUMENTS[build.__name__], args[3:]))),
        lambda build, symbol, *args: build(Text(symbol), *args),
        lambda build, symbol, time, update_id, *rows: build(
            symbol, time, update_id, *[[tuple(Text(c) for c in r) for r in rs] for rs in rows]
        ),
    ],
    ids=["exact", "keywords", "str-subclass-symbol", "str-subclass-cells"],
)
def test_argument_forms_agree(book_spec, call):
    def feed(snapshot_args, delta_args):
        ext = FeatureExtractor(book_spec)
        ext.update_order_book(call(OrderBookEvent.snapshot, *snapshot_args))
        ext.update_order_book(call(OrderBookEvent.delta, *delta_args))
        return ext.values().tolist()

    bids = [("100.5", "2"), ["100.25", "1.5"]]
    asks = (("101", "3"),)
    changes = [("bid", "100.5", "0"), ("ask", "100.75", "4")]
    expected = [100.5, 100.25, 100.75]  # mid, best bid, best ask
    assert feed(("btc", 1, 7, bids, asks), ("btc", 2, 8, changes)) == expected
    # Update IDs beyond the signed 64-bit range are valid too.
    big = 2**63 + 5
    assert feed(("btc", 1, big, bids, asks), ("btc", 2, big + 1, changes)) == expected
    with pytest.raises(ValueError) as error:
        call(OrderBookEvent.snapshot, "btc", 1, 1, bids, [("1", "x")])
    assert str(error.value) == invalid_decimal("Invalid decimal: unknown character")
    with pytest.raises(ValueError) as error:
        call(OrderBookEvent.delta, "btc", 1, 1, [("bid", "1", "1"), ("BID", "1", "1")])
    assert str(error.value) == BAD_SIDE


def test_negative_zero_is_accepted():
    OrderBookEvent.snapshot("btc", 1, 1, [("-0", "-0.00")], [])


@pytest.mark.parametrize(
    "call",
    [
        lambda: OrderBookEvent.snapshot("btc", 1.5, 1, [], []),
        lambda: OrderBookEvent.snapshot("btc", 1, -1, [], []),
        lambda: OrderBookEvent.snapshot("btc", 1, 2**64, [], []),
        lambda: OrderBookEvent.snapshot("btc", 1, 1, [("1", "2", "3")], []),
        lambda: OrderBookEvent.snapshot("btc", 1, 1, [(1, "2")], []),
        lambda: OrderBookEvent.snapshot(5, 1, 1, [], []),
        lambda: OrderBookEvent.delta("btc", 1, 1, [("bid", "1")]),
        lambda: OrderBookEvent.delta("btc", 1, 1, [("bid", "1", 2.0)]),
        lambda: OrderBookEvent.delta("btc", 1, 1, None),
    ],
)
def test_wrong_argument_types_are_type_errors(call):
    with pytest.raises(TypeError):
        call()


def test_check_order_against_the_symbol_limit():
    # A fresh process: fill the symbol table to its limit first.
    out = run_isolated(
        """
        from zelk import OrderBookEvent, FeatureExtractorSpec
        for i in range(511):
            OrderBookEvent.snapshot(f"s{i}", 1, 1, [], [])
        def message(call):
            try:
                call()
            except ValueError as e:
                return str(e)
        # A delta converts its changes before interning its symbol.
        print(message(lambda: OrderBookEvent.delta("new", 1, 1, [("BID", "1", "1")])))
        # A snapshot interns its symbol before converting its levels.
        print(message(lambda: OrderBookEvent.snapshot("new", 1, 1, [("-1", "1")], [])))
        # Existing names remain usable.
        OrderBookEvent.snapshot("s0", 1, 1, [], [])
        print("ok")
        """
    )
    limit = "invalid argument: symbol count 513 exceeds limit 512"
    assert out.splitlines() == [BAD_SIDE, limit, "ok"]


def test_feeding_the_same_object_twice(book_spec):
    # Canonical order: mid price, best bid, best ask.
    ext = FeatureExtractor(book_spec)
    snapshot = OrderBookEvent.snapshot("btc", 1, 10, [("100", "1")], [("102", "1")])
    delta = OrderBookEvent.delta("btc", 1, 11, [("bid", "101", "2")])
    ext.update_order_book(snapshot)
    ext.update_order_book(delta)
    assert list(ext.values()) == [101.5, 101.0, 102.0]
    # The delta again is Ignored: its update ID is no longer newer.
    ext.update_order_book(delta)
    assert list(ext.values()) == [101.5, 101.0, 102.0]
    # The snapshot again is stale.
    with pytest.raises(ValueError) as error:
        ext.update_order_book(snapshot)
    assert str(error.value) == (
        "order-book update failed: snapshot 10 is not newer than current snapshot 10"
    )
    # The object was not consumed: another extractor can use it.
    other = FeatureExtractor(book_spec)
    other.update_order_book(snapshot)
    assert list(other.values()) == [101.0, 100.0, 102.0]


def test_zero_size_deletes_and_empty_snapshot_empties(book_spec):
    ext = FeatureExtractor(book_spec)
    ext.update_order_book(
        OrderBookEvent.snapshot("btc", 1, 1, [("100", "1"), ("99", "1")], [("102", "1")])
    )
    ext.update_order_book(OrderBookEvent.delta("btc", 2, 2, [("bid", "100", "0.000")]))
    assert list(ext.values()) == [100.5, 99.0, 102.0]
    ext.update_order_book(OrderBookEvent.snapshot("btc", 3, 3, [], []))
    assert all(math.isnan(v) for v in ext.values())


def test_symbol_is_lower_cased():
    spec = (
        zelk.FeatureExtractorSpec()
        .configure_order_book("eth", update_policy="monotonic", buffer_size=4)
        .order_book_best_bid_price("eth")
    )
    ext = FeatureExtractor(spec)
    ext.update_order_book(OrderBookEvent.snapshot("ETH", 1, 1, [("5", "1")], []))
    assert list(ext.values()) == [5.0]
