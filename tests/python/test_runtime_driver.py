"""The runtime driver behind FeatureExtractor: symbol handles, event building
and its messages, column checks, context batches, partial application on a
mid-batch error, order-book replay and the output dtype."""

import gc
import math

import numpy as np
import pytest
from conftest import F64, I64, U8, columns

from zelk import (
    KIND_ORDERBOOK,
    KIND_PRICE,
    KIND_TIME,
    KIND_TRADE,
    KIND_VOLUME,
    SIDE_AGGRESSOR_BUY,
    SIDE_AGGRESSOR_SELL,
    FeatureExtractor,
    FeatureExtractorSpec,
    OrderBookEvent,
    WarmupPolicy,
)

RATE = "context:symbol=10:__global__:source=context:name=4:rate"
PRICE = "field:symbol=3:btc:source=field.price"
VOLUME = "field:symbol=3:btc:source=field.volume"
TRADE_PRICE = "field:symbol=3:btc:source=field.trade_price"
CVD = "cvd:symbol=3:btc:source=event.trade:window=10:warmup=first_value"
CLOCK = "day_of_week:symbol=10:__global__:source=any_event"


def make_spec():
    return (
        FeatureExtractorSpec()
        .context("__global__", "rate")
        .field("btc")
        .field("btc", source="volume")
        .field("btc", source="trade_price")
        .cvd("btc", [10], warmup=WarmupPolicy.FIRST_VALUE)
        .day_of_week()
    )


def make_extractor(cls=FeatureExtractor, **kwargs):
    ext = cls(make_spec(), **kwargs)
    assert ext.symbol("btc") == 0
    return ext


def snapshot(ext):
    return dict(zip(ext.feature_names(), ext.values().tolist()))


def same(a, b):
    """Equality that treats NaN as equal to NaN."""
    return a.keys() == b.keys() and all(
        (math.isnan(x) and math.isnan(b[k])) or x == b[k] for k, x in a.items()
    )


def all_nan(ext):
    return all(math.isnan(v) for v in ext.values())


# --- Symbol handles ---------------------------------------------------------


def test_symbol_handles_are_object_local():
    ext = make_extractor()
    assert ext.symbol("BTC") == 0
    assert ext.symbol("eth") == 1
    assert ext.symbol("btc") == 0
    other = make_extractor()  # issues btc first
    assert other.symbol("sol") == 1
    assert other.symbol("eth") == 2
    assert ext.symbol("sol") == 2


def test_symbol_limit_keeps_existing_handles():
    from conftest import run_isolated

    out = run_isolated(
        """
        from zelk import FeatureExtractor, FeatureExtractorSpec
        ext = FeatureExtractor(FeatureExtractorSpec())
        handles = [ext.symbol(f"s{i}") for i in range(511)]
        try:
            ext.symbol("one-too-many")
        except ValueError as e:
            print(e)
        print(ext.symbol("s7"), ext.symbol("__GLOBAL__"), handles[-1])
        """
    )
    assert out.splitlines() == [
        "invalid argument: symbol count 513 exceeds limit 512",
        "7 511 510",
    ]


# --- Building events (live and batch share the rules) -----------------------


UNKNOWN_HANDLE = "unknown symbol handle {}; call FeatureExtractor.symbol(name) first"
UNSUPPORTED = "unsupported event kind {} (expected 0=price, 1=volume, 2=trade, 3=orderbook, 4=time)"
SIDE_ERROR = "invalid `side` {}; expected SIDE_AGGRESSOR_BUY (0) or SIDE_AGGRESSOR_SELL (1)"


@pytest.mark.parametrize(
    "kind, handle, payload, message",
    [
        (
            KIND_ORDERBOOK,
            0,
            {"price": 1.0},
            (
                "KIND_ORDERBOOK no longer accepts bid/ask scalars; use OrderBookEvent with "
                "update_order_book or transform_order_book"
            ),
        ),
        (5, 0, {}, UNSUPPORTED.format(5)),
        (255, 99, {}, UNSUPPORTED.format(255)),
        (KIND_PRICE, 1, {"price": 1.0}, UNKNOWN_HANDLE.format(1)),
        (KIND_TRADE, -1, {"price": 1.0, "volume": 1.0}, UNKNOWN_HANDLE.format(-1)),
        # The handle is checked before the payload.
        (KIND_VOLUME, 7, {}, UNKNOWN_HANDLE.format(7)),
        (KIND_PRICE, 0, {"volume": 1.0}, "event kind requires the `price` column"),
        (KIND_VOLUME, 0, {"price": 1.0}, "event kind requires the `volume` column"),
        (KIND_TRADE, 0, {}, "event kind requires the `price` column"),
        (KIND_TRADE, 0, {"price": 1.0}, "event kind requires the `volume` column"),
        (KIND_TRADE, 0, {"price": 1.0, "volume": 1.0, "side": 2}, SIDE_ERROR.format(2)),
        # The side is checked before finiteness.
        (KIND_TRADE, 0, {"price": np.nan, "volume": 1.0, "side": 9}, SIDE_ERROR.format(9)),
        (
            KIND_PRICE,
            0,
            {"price": np.nan},
            "invalid argument: event price must be finite",
        ),
        (
            KIND_VOLUME,
            0,
            {"volume": -np.inf},
            "invalid argument: event volume must be finite",
        ),
        (
            KIND_TRADE,
            0,
            {"price": np.inf, "volume": np.inf},
            "invalid argument: event trade price must be finite",
        ),
        (
            KIND_TRADE,
            0,
            {"price": 1.0, "volume": np.nan},
            "invalid argument: event trade volume must be finite",
        ),
    ],
)
def test_event_building_errors(kind, handle, payload, message):
    # Live stepping.
    ext = make_extractor()
    with pytest.raises(ValueError) as error:
        ext.update(kind, handle, 10, **payload)
    assert str(error.value) == message
    # Batch: a clock tick, then the bad event as row 1; nothing is applied.
    # Only the payloads of the case are given as columns.
    arrays = {
        name: np.array(
            [0 if name == "side" else math.nan, payload[name]], dtype=U8 if name == "side" else F64
        )
        for name in payload
    }
    with pytest.raises(ValueError) as error:
        ext.transform(
            np.array([KIND_TIME, kind], dtype=U8),
            np.array([0, handle], dtype=I64),
            np.array([5, 10], dtype=I64),
            **arrays,
        )
    assert str(error.value) == f"row 1: {message}"
    assert all_nan(ext)
    ext.output_dtype = "float32"  # not locked: nothing was dispatched


# update() parses calls with exact int, float and None arguments itself and
# hands every other accepted form to the general binding; all forms must give
# the same values and the same refusals.
class Subclassed(FeatureExtractor):
    pass


def as_numpy_scalars(kind, handle, ts, payload):
    converted = {
        k: (np.uint8(v) if k == "side" else np.float64(v)) if v is not None else None
        for k, v in payload.items()
    }
    return (np.uint8(kind), np.int64(handle), np.int64(ts)), converted


def as_int_payloads(kind, handle, ts, payload):
    return (kind, handle, ts), {
        k: int(v) if isinstance(v, float) else v for k, v in payload.items()
    }


def as_runtime_keywords(kind, handle, ts, payload):
    # Keys built at run time are not interned, unlike keywords in source.
    return (kind, handle, ts), {"".join(list(k)): v for k, v in payload.items()}


UPDATE_STREAM = [
    (KIND_PRICE, 0, 1, {"price": 100.0}),
    (KIND_TRADE, 0, 2, {"price": 101.0, "volume": 2.0, "side": SIDE_AGGRESSOR_SELL}),
    (KIND_VOLUME, 0, 3, {"volume": 3.0, "price": None, "bid": 1.0, "ask": None}),
    (KIND_TIME, 7, 86_400_000, {}),
    (KIND_TRADE, 0, 86_400_001, {"price": 99.0, "volume": 1.0, "side": None}),
]
UPDATE_REFUSALS = [
    (KIND_TRADE, 0, 86_400_002, {"price": 1.0, "volume": 1.0, "side": 2}, SIDE_ERROR.format(2)),
    (KIND_PRICE, 3, 86_400_002, {"price": 1.0}, UNKNOWN_HANDLE.format(3)),
    (KIND_VOLUME, 0, 86_400_002, {"price": 1.0}, "event kind requires the `volume` column"),
    (
        KIND_PRICE,
        0,
        5,
        {"price": 1.0},
        "timestamp 5 for price event for symbol btc is earlier than previous timestamp 86400001",
    ),
]


@pytest.mark.parametrize(
    "make, convert",
    [
        (make_extractor, lambda *row: (row[:3], row[3])),
        (make_extractor, as_numpy_scalars),
        (make_extractor, as_int_payloads),
        (make_extractor, as_runtime_keywords),
        (lambda: make_extractor(Subclassed), lambda *row: (row[:3], row[3])),
    ],
    ids=["exact", "numpy-scalars", "int-payloads", "runtime-keywords", "subclass"],
)
def test_update_argument_forms_agree(make, convert):
    reference = make_extractor()
    ext = make()
    for kind, handle, ts, payload in UPDATE_STREAM:
        reference.update(kind, handle, ts, **payload)
        args, kwargs = convert(kind, handle, ts, payload)
        ext.update(*args, **kwargs)
        assert same(snapshot(ext), snapshot(reference))
    for kind, handle, ts, payload, message in UPDATE_REFUSALS:
        args, kwargs = convert(kind, handle, ts, payload)
        with pytest.raises(ValueError) as error:
            ext.update(*args, **kwargs)
        assert str(error.value) == message
        assert same(snapshot(ext), snapshot(reference))
    # The unbound form reaches the same method.
    FeatureExtractor.update(ext, KIND_PRICE, 0, 86_400_005, price=7.0)
    assert snapshot(ext)[PRICE] == 7.0


def test_time_rows_ignore_the_symbol_and_unused_payloads_are_ignored():
    ext = make_extractor()
    kind, symbol, ts, price, volume = columns(
        [(KIND_TIME, 12345, 0), (KIND_PRICE, 0, 86_400_000, 100.0, np.nan)]
    )
    out = ext.transform(kind, symbol, ts, price=price, volume=volume)
    row = dict(zip(ext.feature_names(), out[1]))
    assert row[CLOCK] == 5.0  # 1970-01-02 was a Friday
    assert row[PRICE] == 100.0
    ext.update(KIND_TIME, -3, 86_400_000)  # a time event with a never-issued handle
    # A NaN volume on a price row and a non-finite bid/ask are ignored.
    ext.update(KIND_PRICE, 0, 86_400_001, price=101.0, volume=np.nan, bid=np.inf, ask=np.nan)
    assert snapshot(ext)[PRICE] == 101.0


def test_trades_with_and_without_side():
    ext = make_extractor()
    kind, symbol, ts, price, volume = columns(
        [
            (KIND_TRADE, 0, 1, 10.0, 5.0),
            (KIND_TRADE, 0, 2, 11.0, 3.0),
            (KIND_TRADE, 0, 3, 12.0, 1.0),
        ]
    )
    side = np.array([SIDE_AGGRESSOR_BUY, SIDE_AGGRESSOR_SELL, 7], dtype=U8)
    # A side value on a row is only read for trades; row 2's 7 is refused.
    with pytest.raises(ValueError) as error:
        ext.transform(kind, symbol, ts, price=price, volume=volume, side=side)
    assert str(error.value) == "row 2: " + SIDE_ERROR.format(7)
    side[2] = SIDE_AGGRESSOR_BUY
    out = ext.transform(kind, symbol, ts, price=price, volume=volume, side=side)
    cvd = ext.feature_names().index(CVD)
    assert out[:, cvd].tolist() == [5.0, 2.0, 3.0]
    # Without a side column, trades carry no side: CVD ignores them.
    ext.transform(kind, symbol, ts + 10, price=price, volume=volume)
    assert snapshot(ext)[CVD] == 3.0
    assert snapshot(ext)[TRADE_PRICE] == 12.0
    # The side of a non-trade row is not read.
    ext.transform(
        np.array([KIND_PRICE], dtype=U8),
        np.array([0]),
        np.array([20]),
        price=np.array([1.0]),
        side=np.array([200], dtype=U8),
    )


# --- Column checks ----------------------------------------------------------


def good_columns(n=3):
    return (
        np.zeros(n, dtype=U8),
        np.zeros(n, dtype=I64),
        np.arange(n, dtype=I64),
    )


@pytest.mark.parametrize(
    "override, message",
    [
        (
            {"symbol": np.zeros(2, dtype=I64)},
            "kind, symbol and timestamp must have the same length",
        ),
        (
            {"timestamp": np.zeros(4, dtype=I64)},
            "kind, symbol and timestamp must have the same length",
        ),
        ({"price": np.zeros(2)}, "the `price` column must match the length of `kind`"),
        ({"volume": np.zeros(4)}, "the `volume` column must match the length of `kind`"),
        ({"side": np.zeros(1, dtype=U8)}, "the `side` column must match the length of `kind`"),
        ({"bid": np.zeros(0)}, "the `bid` column must match the length of `kind`"),
        ({"ask": np.zeros(9)}, "the `ask` column must match the length of `kind`"),
        # Optional columns are checked in the order price, volume, side, bid, ask.
        (
            {"ask": np.zeros(1), "volume": np.zeros(1)},
            "the `volume` column must match the length of `kind`",
        ),
        # Lengths of the required columns come before any optional column.
        (
            {"symbol": np.zeros(1, dtype=I64), "price": np.zeros(1)},
            "kind, symbol and timestamp must have the same length",
        ),
    ],
)
def test_length_checks(override, message):
    ext = make_extractor()
    kind, symbol, timestamp = good_columns()
    args = {"kind": kind, "symbol": symbol, "timestamp": timestamp, "price": np.ones(3)}
    args.update(override)
    with pytest.raises(ValueError) as error:
        ext.transform(**args)
    assert str(error.value) == message


@pytest.mark.parametrize(
    "override",
    [
        {"kind": [0, 0, 0]},
        {"kind": np.zeros(3, dtype=np.int64)},
        {"symbol": np.zeros(3, dtype=np.int32)},
        {"timestamp": np.zeros(3, dtype=np.uint64)},
        {"timestamp": np.zeros(3, dtype=F64)},
        {"price": np.ones(3, dtype=np.float32)},
        {"price": [1.0, 2.0, 3.0]},
        {"side": np.zeros(3, dtype=np.int8)},
        {"kind": np.zeros((3, 1), dtype=U8)},
        {"context_updates": [(0, {})]},
    ],
)
def test_wrong_column_types_are_type_errors(override):
    ext = make_extractor()
    kind, symbol, timestamp = good_columns()
    args = {"kind": kind, "symbol": symbol, "timestamp": timestamp, "price": np.ones(3)}
    args.update(override)
    with pytest.raises(TypeError):
        ext.transform(**args)


@pytest.mark.parametrize("column", ["kind", "symbol", "timestamp", "price", "side"])
def test_strided_columns_are_refused(column):
    ext = make_extractor()
    kind, symbol, timestamp = good_columns()
    args = {
        "kind": kind,
        "symbol": symbol,
        "timestamp": timestamp,
        "price": np.ones(3),
        "side": np.zeros(3, dtype=U8),
    }
    args[column] = np.repeat(args[column], 2)[::2]
    assert not args[column].flags.c_contiguous
    with pytest.raises(TypeError) as error:
        ext.transform(**args)
    assert str(error.value) == "The given array is not contiguous"


class ArraySubclass(np.ndarray):
    pass


def read_only(array):
    array = array.copy()
    array.flags.writeable = False
    return array


def misaligned(array):
    return np.frombuffer(b"x" + array.tobytes(), dtype=array.dtype, offset=1)


# transform() reads exact, contiguous, aligned NumPy columns itself and hands
# every other accepted form to the general binding; all forms must give the
# same rows and the same refusals.
@pytest.mark.parametrize(
    "convert",
    [
        lambda name, array: (name, read_only(array)),
        lambda name, array: (name, array.view(ArraySubclass)),
        lambda name, array: (name, array.astype(np.longlong) if array.dtype == I64 else array),
        lambda name, array: (name, misaligned(array)),
        lambda name, array: ("".join(list(name)), array),  # a keyword that is not interned
    ],
    ids=["read-only", "subclass", "longlong", "misaligned", "runtime-keywords"],
)
def test_transform_column_forms_agree(convert):
    rows = [(KIND_PRICE, 0, 1, 100.0, np.nan), (KIND_TRADE, 0, 2, 101.0, 2.0), (KIND_TIME, 9, 3)]
    kind, symbol, ts, price, volume = columns(rows)
    side = np.array([0, SIDE_AGGRESSOR_SELL, 7], dtype=U8)
    given = {"price": price, "volume": volume, "side": side}
    expected = make_extractor().transform(kind, symbol, ts, **given)
    kwargs = dict(convert(name, array) for name, array in given.items())
    args = [convert("", array)[1] for array in (kind, symbol, ts)]
    got = make_extractor().transform(*args, **kwargs)
    np.testing.assert_array_equal(got, expected)
    # A refused row reports the same message on either path.
    bad = dict(kwargs)
    bad[convert("side", side)[0]] = convert("side", np.array([0, 2, 0], dtype=U8))[1]
    with pytest.raises(ValueError) as error:
        make_extractor().transform(*args, **bad)
    assert str(error.value) == f"row 1: {SIDE_ERROR.format(2)}"


def test_read_only_and_single_element_views_are_accepted():
    ext = make_extractor()
    kind, symbol, timestamp = good_columns()
    price = np.ones(3)
    price.flags.writeable = False
    out = ext.transform(kind, symbol, timestamp, price=price)
    assert out.shape == (3, ext.n_features())
    # A one-element slice of a strided array is contiguous.
    many = np.arange(10.0)[::3][:1]
    ext.transform(kind[:1], symbol[:1], timestamp[:1] + 5, price=many)


def test_empty_batch():
    ext = make_extractor()
    out = ext.transform(np.zeros(0, dtype=U8), np.zeros(0, dtype=I64), np.zeros(0, dtype=I64))
    assert out.shape == (0, ext.n_features())
    assert out.dtype == np.float64
    out = ext.transform_order_book([])
    assert out.shape == (0, ext.n_features())


# --- Partial application ----------------------------------------------------


def test_mid_batch_core_error_keeps_earlier_rows():
    ext = make_extractor()
    kind, symbol, ts, price, _ = columns(
        [(KIND_PRICE, 0, 10, 100.0), (KIND_PRICE, 0, 5, 101.0), (KIND_PRICE, 0, 20, 102.0)]
    )
    with pytest.raises(ValueError) as error:
        ext.transform(kind, symbol, ts, price=price)
    assert str(error.value) == (
        "row 1: timestamp 5 for price event for symbol btc is earlier than previous timestamp 10"
    )
    assert snapshot(ext)[PRICE] == 100.0
    # The state after row 0 is locked in: row 2 was never dispatched.
    with pytest.raises(ValueError) as error:
        ext.update(KIND_PRICE, 0, 9, price=1.0)
    assert "earlier than previous timestamp 10" in str(error.value)


def test_live_core_error_is_value_error_and_changes_nothing():
    ext = make_extractor()
    ext.update(KIND_PRICE, 0, 10, price=1.0)
    before = snapshot(ext)
    with pytest.raises(ValueError) as error:
        ext.update(KIND_TIME, 0, 10)
        ext.update(KIND_TIME, 0, 9)
    assert str(error.value) == (
        "timestamp 9 for time event for symbol GLOBAL is earlier than previous timestamp 10"
    )
    after = snapshot(ext)
    assert same(before, after)


# --- Context ----------------------------------------------------------------


def test_update_context():
    ext = make_extractor()
    ext.update_context({})
    assert all_nan(ext)
    ext.output_dtype = "float32"  # an empty batch does not lock
    ext.update_context({RATE: 0.5})
    assert snapshot(ext)[RATE] == 0.5
    ext.update_context({RATE: None})
    assert math.isnan(snapshot(ext)[RATE])
    ext.update_context({RATE: 2})  # integers convert
    assert snapshot(ext)[RATE] == 2.0
    with pytest.raises(ValueError) as error:
        ext.output_dtype = "float64"
    assert "has processed an event or context update" in str(error.value)


@pytest.mark.parametrize(
    "updates, message",
    [
        ({"nope": 1.0}, "context update 0: unknown feature ID"),
        ({RATE: 1.0, PRICE: 1.0}, "context update 1: target is not a context feature"),
        ({RATE: math.inf}, "context update 0: context value must be finite or None"),
    ],
)
def test_update_context_errors_apply_nothing(updates, message):
    ext = make_extractor()
    ext.update_context({RATE: 3.0})
    with pytest.raises(ValueError) as error:
        ext.update_context(updates)
    assert str(error.value) == message
    assert snapshot(ext)[RATE] == 3.0


@pytest.mark.parametrize(
    "updates", [[(RATE, 1.0)], {1: 1.0}, {RATE: "1.0"}, {RATE: [1.0]}, {b"rate": 1.0}]
)
def test_update_context_type_errors(updates):
    with pytest.raises(TypeError):
        make_extractor().update_context(updates)


def test_context_batches_apply_before_their_row():
    ext = make_extractor()
    kind, symbol, ts, price, _ = columns(
        [(KIND_PRICE, 0, 1, 10.0), (KIND_PRICE, 0, 2, 11.0), (KIND_PRICE, 0, 3, 12.0)]
    )
    out = ext.transform(
        kind, symbol, ts, price=price, context_updates={2: {RATE: None}, 0: {RATE: 1.5}}
    )
    rate = ext.feature_names().index(RATE)
    assert out[0, rate] == 1.5 and out[1, rate] == 1.5 and math.isnan(out[2, rate])
    with pytest.raises(ValueError):
        ext.output_dtype = "float32"


@pytest.mark.parametrize(
    "context, message",
    [
        ({True: {}}, "context row index must be an integer"),
        ({"0": {}}, "context row index must be an integer"),
        ({1.0: {}}, "context row index must be an integer"),
        ({-1: {}}, "context row index must be nonnegative"),
        ({-(2**70): {}}, "context row index must be nonnegative"),
        ({3: {}}, "context row 3 is outside this replay"),
        ({2**70: {}}, f"context row {2**70} is outside this replay"),
        ({1: {"nope": 1.0}}, "row 1: context update 0: unknown feature ID"),
        ({2: {RATE: 1.0, CLOCK: 2.0}}, "row 2: context update 1: target is not a context feature"),
        ({0: {RATE: math.nan}}, "row 0: context update 0: context value must be finite or None"),
        # Every batch is validated before any row runs, in dict order.
        ({0: {RATE: 1.0}, 5: {}}, "context row 5 is outside this replay"),
    ],
)
def test_context_row_errors_apply_nothing(context, message):
    ext = make_extractor()
    kind, symbol, ts, price, _ = columns([(KIND_PRICE, 0, t, 10.0) for t in (1, 2, 3)])
    with pytest.raises(ValueError) as error:
        ext.transform(kind, symbol, ts, price=price, context_updates=context)
    assert str(error.value) == message
    assert all_nan(ext)
    ext.output_dtype = "float32"  # still unlocked


@pytest.mark.parametrize("context", [{0: [(RATE, 1.0)]}, {0: {RATE: "x"}}, {0: {5: 1.0}}])
def test_context_row_type_errors(context):
    ext = make_extractor()
    kind, symbol, ts, price, _ = columns([(KIND_PRICE, 0, 1, 10.0)])
    with pytest.raises(TypeError):
        ext.transform(kind, symbol, ts, price=price, context_updates=context)
    assert all_nan(ext)


def test_event_errors_come_before_context_errors():
    ext = make_extractor()
    kind, symbol, ts, price, _ = columns([(KIND_PRICE, 0, 1, 10.0), (KIND_PRICE, 3, 2, 1.0)])
    with pytest.raises(ValueError) as error:
        ext.transform(kind, symbol, ts, price=price, context_updates={9: {}})
    assert str(error.value) == "row 1: " + UNKNOWN_HANDLE.format(3)


def test_context_applied_before_a_failing_row_stays():
    ext = make_extractor()
    kind, symbol, ts, price, _ = columns([(KIND_PRICE, 0, 5, 10.0), (KIND_PRICE, 0, 4, 11.0)])
    with pytest.raises(ValueError):
        ext.transform(kind, symbol, ts, price=price, context_updates={1: {RATE: 7.0}})
    state = snapshot(ext)
    assert state[RATE] == 7.0 and state[PRICE] == 10.0


# --- Order books ------------------------------------------------------------


def test_update_order_book_requires_a_configured_book(book_spec):
    ext = FeatureExtractor(book_spec)
    with pytest.raises(ValueError) as error:
        ext.update_order_book(OrderBookEvent.snapshot("ETH", 1, 1, [], []))
    assert str(error.value) == "no order book is configured for symbol eth"
    # The check is the driver's own: it also holds for a spec without book features.
    bare = FeatureExtractor(FeatureExtractorSpec().field("eth"))
    with pytest.raises(ValueError):
        bare.update_order_book(OrderBookEvent.snapshot("eth", 1, 1, [], []))


def test_transform_order_book_checks_books_before_dispatch(book_spec):
    ext = FeatureExtractor(book_spec)
    events = [
        OrderBookEvent.snapshot("btc", 1, 1, [("1", "1")], [("2", "1")]),
        OrderBookEvent.delta("sol", 2, 2, []),
    ]
    with pytest.raises(ValueError) as error:
        ext.transform_order_book(events)
    assert str(error.value) == "row 1: no order book is configured for symbol sol"
    assert all_nan(ext)
    with pytest.raises(TypeError):
        ext.transform_order_book([events[0], "not an event"])
    with pytest.raises(TypeError):
        ext.transform_order_book([events[0], None])


def test_transform_order_book_rows_and_partial_application():
    spec = (
        FeatureExtractorSpec()
        .configure_order_book("btc", update_policy="contiguous", buffer_size=4)
        .order_book_best_bid_price("btc")
        .context("__global__", "rate")
    )
    ext = FeatureExtractor(spec)
    events = [
        OrderBookEvent.snapshot("btc", 1, 10, [("100", "1")], []),
        OrderBookEvent.delta("btc", 2, 11, [("bid", "101", "1")]),
        OrderBookEvent.delta("btc", 3, 13, [("bid", "102", "1")]),  # gap: 12 expected
        OrderBookEvent.delta("btc", 4, 14, [("bid", "103", "1")]),
    ]
    with pytest.raises(ValueError) as error:
        ext.transform_order_book(events, context_updates={1: {RATE: 2.0}})
    assert str(error.value) == "row 2: order-book update failed: expected update ID 12, received 13"
    assert ext.values().tolist()[1] == 101.0  # rows 0 and 1 stay applied
    # The rejected row keeps its resynchronisation effect: the book now waits
    # for a snapshot and buffers deltas instead of applying them.
    ext.update_order_book(OrderBookEvent.delta("btc", 5, 14, [("bid", "104", "1")]))
    assert ext.values().tolist()[1] == 101.0
    ext.update_order_book(OrderBookEvent.snapshot("btc", 6, 12, [("99", "1")], []))
    assert ext.values().tolist()[1] == 104.0  # 13 and 14 replayed on top of the snapshot

    fresh = FeatureExtractor(spec)
    out = fresh.transform_order_book(events[:2], context_updates={1: {RATE: 2.0}})
    assert out.shape == (2, 2)
    assert out[:, 1].tolist() == [100.0, 101.0]
    assert math.isnan(out[0, 0]) and out[1, 0] == 2.0


class RunsCode:
    """A context value whose conversion to float runs Python code."""

    def __init__(self, action):
        self.action = action

    def __float__(self):
        self.action()
        return 2.0


def test_inputs_changed_while_converting_context_values():
    # A row made invalid during the conversion is refused before dispatch.
    ext = make_extractor()
    kind, symbol, ts, price, _ = columns([(KIND_PRICE, 0, 1, 1.0), (KIND_PRICE, 0, 2, 2.0)])
    context = {0: {RATE: RunsCode(lambda: symbol.__setitem__(1, 99))}}
    with pytest.raises(ValueError) as error:
        ext.transform(kind, symbol, ts, price=price, context_updates=context)
    assert str(error.value) == f"row 1: {UNKNOWN_HANDLE.format(99)}"
    assert all_nan(ext)
    # Book events whose last reference goes away during the conversion are
    # still replayed as given.
    spec = (
        FeatureExtractorSpec()
        .configure_order_book("btc", update_policy="contiguous", buffer_size=4)
        .order_book_best_bid_price("btc")
        .context("__global__", "rate")
    )
    events = [
        OrderBookEvent.snapshot("btc", 1, 10, [("100", "1")], []),
        OrderBookEvent.delta("btc", 2, 11, [("bid", "101", "1")]),
    ]

    def drop_events():
        events.clear()
        gc.collect()

    out = FeatureExtractor(spec).transform_order_book(
        events, context_updates={1: {RATE: RunsCode(drop_events)}}
    )
    assert events == []
    assert out[:, 1].tolist() == [100.0, 101.0]
    assert math.isnan(out[0, 0]) and out[1, 0] == 2.0


# --- Output dtype -----------------------------------------------------------


DTYPE_ERROR = 'output_dtype must be "float32", "float64", numpy.float32, or numpy.float64'


@pytest.mark.parametrize(
    "value, expected",
    [
        ("float32", "float32"),
        ("float64", "float64"),
        (np.float32, "float32"),
        (np.float64, "float64"),
    ],
)
def test_output_dtype_values(value, expected):
    ext = make_extractor(output_dtype=value)
    assert ext.output_dtype == expected
    ext.output_dtype = "float64"
    ext.output_dtype = value
    assert ext.output_dtype == expected


@pytest.mark.parametrize("value", ["float16", "Float32", "f4", np.float16, np.dtype("float32"), 32])
def test_output_dtype_refused(value):
    with pytest.raises(ValueError) as error:
        make_extractor(output_dtype=value)
    assert str(error.value) == DTYPE_ERROR
    ext = make_extractor()
    with pytest.raises(ValueError) as error:
        ext.output_dtype = value
    assert str(error.value) == DTYPE_ERROR
    assert ext.output_dtype == "float64"


def test_float32_everywhere(book_spec):
    ext = make_extractor(output_dtype="float32")
    assert ext.values().dtype == np.float32
    kind, symbol, ts, price, _ = columns([(KIND_PRICE, 0, 1, 0.1)])
    out = ext.transform(kind, symbol, ts, price=price)
    assert out.dtype == np.float32
    assert out[0, ext.feature_names().index(PRICE)] == np.float32(0.1)
    books = FeatureExtractor(book_spec, output_dtype=np.float32)
    out = books.transform_order_book([OrderBookEvent.snapshot("btc", 1, 1, [("1", "1")], [])])
    assert out.dtype == np.float32 and books.values().dtype == np.float32


def test_output_dtype_locks_after_the_first_event():
    message = (
        "output_dtype cannot be changed after the extractor has processed an event or "
        "context update"
    )
    ext = make_extractor()
    ext.update(KIND_TIME, 0, 1)
    for value in ("float64", "float32", "bogus"):  # the lock is checked first
        with pytest.raises(ValueError) as error:
            ext.output_dtype = value
        assert str(error.value) == message
    # A refused event does not lock.
    ext = make_extractor()
    with pytest.raises(ValueError):
        ext.update(KIND_PRICE, 0, 1, price=math.nan)
    ext.output_dtype = "float32"


def test_output_dtype_cannot_be_deleted():
    ext = make_extractor()
    with pytest.raises(TypeError) as error:
        del ext.output_dtype
    assert str(error.value) == "can't delete attribute"
    assert ext.output_dtype == "float64"


# --- Results handed to NumPy ------------------------------------------------


def test_results_are_fresh_arrays_owned_by_numpy():
    ext = make_extractor()
    kind, symbol, ts, price, _ = columns([(KIND_PRICE, 0, 1, 1.0), (KIND_PRICE, 0, 2, 2.0)])
    out = ext.transform(kind, symbol, ts, price=price)
    assert out.flags.c_contiguous and out.flags.writeable
    assert not out.flags.owndata  # wraps the block written by the replay
    first = ext.values()
    first[:] = 0.0  # a copy: the extractor is not affected
    assert snapshot(ext)[PRICE] == 2.0
    del ext
    assert out[1].shape == (6,)  # still valid after the extractor is gone
