"""Batch replay and live stepping agree bit for bit on a randomized mixed
stream: prices, volumes, trades with and without side, clock ticks, context
batches, book snapshots and deltas, and rejected events of both kinds."""

import dataclasses
import re

import numpy as np
import pytest

from zelk import (
    KIND_PRICE,
    KIND_TIME,
    KIND_TRADE,
    KIND_VOLUME,
    FeatureExtractor,
    FeatureExtractorSpec,
    OrderBookEvent,
    WarmupPolicy,
)

FIRST = WarmupPolicy.FIRST_VALUE
RATE = "context:symbol=10:__global__:source=context:name=4:rate"
FUNDING = "funding"


def make_spec():
    spec = (
        FeatureExtractorSpec(capacity=80, checksum="parity")
        .context("__global__", "rate")
        .context("btc", "funding", id=FUNDING)
        .day_of_week()
        .time_since_first_event_of_day("UTC+3")
        .configure_order_book("btc", update_policy="monotonic", buffer_size=6)
        .configure_order_book("eth", update_policy="contiguous", buffer_size=3)
    )
    for sym in ("btc", "eth"):
        (
            spec.field(sym)
            .field(sym, source="volume")
            .field(sym, source="trade_price")
            .field(sym, source="trade_volume")
            .simple_returns(sym, [1, 3])
            .log_returns(sym, [2])
            .volatility(sym, [2, 5])
            .volatility(sym, [4], source="trade_price", warmup=FIRST)
            .cvd(sym, [3, 8], warmup=FIRST)
            .cvd(sym, [5])
            .vpt(sym)
            .sma_timed(sym, "1s", ["2s", "5s"])
            .volatility_timed(sym, "1s", ["3s"], warmup=FIRST)
            .obv_timed(sym, "500ms", ["2s"])
            .trade_volume_timed(sym, "1s", ["3s"], warmup=FIRST)
            .vwap_timed(sym, "1s", ["2s", "4s"])
            .trade_count_timed(sym, "1s", "3s", warmup=FIRST)
            .order_book_mid_price(sym)
            .order_book_spread(sym)
            .order_book_microprice(sym)
            .order_book_imbalance(sym, [1, 3])
            .order_book_level_size(sym, "bid", "100")
            .order_book_depth_until_size_total_size(sym, "ask", "2.5")
            .order_book_volume_between_prices(sym, "bid", "95", "100")
        )
    return spec


@dataclasses.dataclass
class Row:
    kind: int = 0  # a scalar row kind, or -1 for a book event
    symbol: str = "btc"
    timestamp: int = 0
    price: float = np.nan
    volume: float = np.nan
    side: int = 0
    book: object = None
    context: dict = None


def random_stream(rng, n_segments):
    """Segments of rows; every row of a scalar segment shares whether the
    side column is given."""
    clock = 1_000_000
    last = {"btc": clock, "eth": clock, "__global__": clock}
    update_ids = {"btc": 0, "eth": 0}
    grid = [f"{p / 2:g}" for p in range(180, 221)]  # 90 to 110 in steps of 0.5
    sizes = ["0", "0.000", "0.25", "1", "1.5", "2", "3.75"]

    def timestamp(symbol):
        if rng.random() < 0.03:
            return last[symbol] - 1  # a regression: refused by the extractor
        ts = max(last[symbol], clock - int(rng.integers(0, 3000)))
        last[symbol] = ts
        return ts

    def context():
        if rng.random() >= 0.1:
            return None
        batch = {}
        if rng.random() < 0.7:
            batch[RATE] = None if rng.random() < 0.2 else float(rng.normal())
        if rng.random() < 0.5:
            batch[FUNDING] = float(rng.normal())
        return batch

    segments = []
    for _ in range(n_segments):
        rows = []
        if rng.random() < 0.65:
            with_side = rng.random() < 0.6
            for _ in range(int(rng.integers(1, 40))):
                clock += int(rng.integers(0, 700))
                kind = int(
                    rng.choice(
                        [KIND_PRICE, KIND_VOLUME, KIND_TRADE, KIND_TIME], p=[0.35, 0.15, 0.4, 0.1]
                    )
                )
                symbol = "__global__" if kind == KIND_TIME else str(rng.choice(["btc", "eth"]))
                price = float(np.round(100 + rng.normal() * 3, 2))
                if rng.random() < 0.02:
                    price = 0.0
                rows.append(
                    Row(
                        kind=kind,
                        symbol=symbol,
                        timestamp=timestamp(symbol),
                        price=price,
                        volume=float(np.round(rng.exponential(2), 3)),
                        side=int(rng.integers(0, 2)) if with_side else None,
                        context=context(),
                    )
                )
        else:
            for _ in range(int(rng.integers(1, 12))):
                clock += int(rng.integers(0, 700))
                symbol = str(rng.choice(["btc", "eth"]))
                # Mostly the next ID; sometimes a gap, a repeat or an older ID.
                step = int(rng.choice([1, 1, 1, 1, 2, 0, -1]))
                update_ids[symbol] = max(0, update_ids[symbol] + step)
                uid = update_ids[symbol]
                if rng.random() < 0.25:
                    n_bids, n_asks = rng.integers(0, 5, size=2)
                    bids = [
                        (grid[i], str(rng.choice(sizes[2:])))
                        for i in rng.choice(20, n_bids, replace=False)
                    ]
                    asks = [
                        (grid[i], str(rng.choice(sizes[2:])))
                        for i in rng.choice(range(21, 41), n_asks, replace=False)
                    ]
                    event = OrderBookEvent.snapshot(symbol, timestamp(symbol), uid, bids, asks)
                else:
                    changes = [
                        (
                            str(rng.choice(["bid", "ask"])),
                            str(rng.choice(grid)),
                            str(rng.choice(sizes)),
                        )
                        for _ in range(int(rng.integers(0, 4)))
                    ]
                    event = OrderBookEvent.delta(symbol, timestamp(symbol), uid, changes)
                rows.append(Row(kind=-1, symbol=symbol, book=event, context=context()))
        segments.append(rows)
    return segments


def run_live(ext, handles, rows):
    outputs, errors = [], {}
    for i, row in enumerate(rows):
        if row.context is not None:
            ext.update_context(row.context)
        try:
            if row.book is not None:
                ext.update_order_book(row.book)
            else:
                ext.update(
                    row.kind,
                    handles[row.symbol],
                    row.timestamp,
                    price=row.price,
                    volume=row.volume,
                    side=row.side,
                )
        except ValueError as error:
            errors[i] = str(error)
        outputs.append(ext.values())
    return np.array(outputs), errors


def transform(ext, handles, rows):
    contexts = {i: row.context for i, row in enumerate(rows) if row.context is not None}
    if rows[0].book is not None:
        return ext.transform_order_book([row.book for row in rows], context_updates=contexts)
    sides = None
    if rows[0].side is not None:
        sides = np.array([row.side for row in rows], dtype=np.uint8)
    return ext.transform(
        np.array([row.kind for row in rows], dtype=np.uint8),
        np.array([handles[row.symbol] for row in rows], dtype=np.int64),
        np.array([row.timestamp for row in rows], dtype=np.int64),
        price=np.array([row.price for row in rows]),
        volume=np.array([row.volume for row in rows]),
        side=sides,
        context_updates=contexts,
    )


def run_batches(ext, handles, batches, width):
    """Replays each batch; a batch that fails at row j resumes after it. Rows
    before a failure return no array: only the state after the failure (the
    row that failed) is observed for them."""
    outputs, errors, observed = [], {}, []
    offset = 0
    for batch in batches:
        start = 0
        while start < len(batch):
            part = batch[start:]
            try:
                block = transform(ext, handles, part)
                assert block.shape == (len(part), width)
                outputs.extend(block)
                observed.extend(range(offset + start, offset + len(batch)))
                start = len(batch)
            except ValueError as error:
                match = re.fullmatch(r"row (\d+): (.*)", str(error), re.DOTALL)
                assert match, str(error)
                j = int(match[1])
                errors[offset + start + j] = match[2]
                outputs.append(ext.values())
                observed.append(offset + start + j)
                start += j + 1
        offset += len(batch)
    return np.array(outputs), errors, observed


def split(rng, segments, rejected):
    """Cuts segments into batches; about half of the rejected rows start a
    batch of their own, the others fail in the middle of one."""
    batches, index = [], 0
    for segment in segments:
        current = []
        for row in segment:
            if index in rejected and current and rng.random() < 0.5:
                batches.append(current)
                current = []
            current.append(row)
            index += 1
        batches.append(current)
    return batches


@pytest.mark.parametrize("seed", [1, 2, 3])
@pytest.mark.parametrize("dtype", ["float64", "float32"])
def test_batch_and_live_agree(seed, dtype):
    rng = np.random.default_rng(seed)
    spec = make_spec()
    segments = random_stream(rng, 60)
    rows = [row for segment in segments for row in segment]

    live = FeatureExtractor(spec, output_dtype=dtype)
    live_handles = {s: live.symbol(s) for s in ("eth", "btc")}
    live_handles["__global__"] = 999  # never read for time rows
    live_rows, live_errors = run_live(live, live_handles, rows)

    batch = FeatureExtractor.from_json(spec.to_json(), output_dtype=dtype)
    batch_handles = {s: batch.symbol(s) for s in ("btc", "eth")}  # different handles
    batch_handles["__global__"] = -5
    batches = split(rng, segments, set(live_errors))
    batch_rows, batch_errors, observed = run_batches(
        batch, batch_handles, batches, batch.n_features()
    )

    assert batch_errors == live_errors
    assert batch_rows.dtype == live_rows.dtype == np.dtype(dtype)
    bits = np.uint64 if dtype == "float64" else np.uint32
    np.testing.assert_array_equal(batch_rows.view(bits), live_rows[observed].view(bits))
    np.testing.assert_array_equal(batch.values().view(bits), live.values().view(bits))

    # The stream exercised what it is meant to: each kind of refusal, and
    # cells that left NaN.
    messages = list(live_errors.values())
    assert any("earlier than previous timestamp" in m for m in messages)
    assert any("is not newer than current snapshot" in m for m in messages)
    assert any("expected update ID" in m for m in messages)
    assert len(observed) > len(rows) * 0.8
    assert np.isfinite(live_rows[-1][: spec.output_count()]).sum() > spec.output_count() // 2
