"""Synthetic, seeded market streams for the Python benchmarks.

Prices sit on a 0.1 tick grid and sizes are whole lots of 0.001, so each value
has an exact decimal text and a float that is the correctly rounded value of
that text (ticks / 10 and lots / 1000 round exactly like float(text)).
"""

from __future__ import annotations

import random
from dataclasses import dataclass

import numpy as np

START_MS = 1_709_283_600_000
SYMBOL = "btc"
DEPTH = 5  # levels per side in the snapshot rows of the mixed stream


def price_text(ticks: int) -> str:
    return f"{ticks // 10}.{ticks % 10}"


def size_text(lots: int) -> str:
    return f"{lots // 1000}.{lots % 1000:03d}"


@dataclass
class Trades:
    timestamp: np.ndarray  # int64 ms, non-decreasing
    price: np.ndarray  # float64
    volume: np.ndarray  # float64
    side: np.ndarray  # uint8: 0 buy, 1 sell


def _mid_path(rng: np.random.Generator, n: int) -> np.ndarray:
    steps = rng.choice(np.array([-1, 0, 1]), size=n, p=[0.04, 0.92, 0.04])
    return 630_000 + np.cumsum(steps)


def trades(n: int, seed: int = 1) -> Trades:
    """n classified trades at the touch of a random-walk book, ~10 ms apart."""
    rng = np.random.default_rng(seed)
    ts = START_MS + np.cumsum(rng.integers(0, 21, n))
    side = rng.integers(0, 2, n).astype(np.uint8)
    mid = _mid_path(rng, n)
    ticks = np.where(side == 0, mid + 1, mid - 1)
    lots = rng.integers(1, 2_000, n)
    return Trades(ts.astype(np.int64), ticks / 10, lots / 1000, side)


@dataclass
class MixedStream:
    """One symbol's timeline of trades and top-of-book snapshot rows."""

    timestamp: np.ndarray  # every row
    is_book: np.ndarray  # bool per row
    trades: Trades  # the trade rows, in order
    book_timestamp: np.ndarray  # the snapshot rows, in order
    bid_ticks: np.ndarray  # (m, DEPTH) int64, best first
    ask_ticks: np.ndarray
    bid_lots: np.ndarray
    ask_lots: np.ndarray

    def bid_px(self) -> np.ndarray:
        return self.bid_ticks / 10

    def ask_px(self) -> np.ndarray:
        return self.ask_ticks / 10

    def bid_sz(self) -> np.ndarray:
        return self.bid_lots / 1000

    def ask_sz(self) -> np.ndarray:
        return self.ask_lots / 1000

    def snapshot_texts(self, i: int) -> tuple[list[tuple[str, str]], list[tuple[str, str]]]:
        bids = [(price_text(p), size_text(s)) for p, s in zip(self.bid_ticks[i].tolist(),
                                                             self.bid_lots[i].tolist())]
        asks = [(price_text(p), size_text(s)) for p, s in zip(self.ask_ticks[i].tolist(),
                                                             self.ask_lots[i].tolist())]
        return bids, asks


def mixed(n: int, book_share: float = 0.1, seed: int = 2) -> MixedStream:
    """n rows: trades, and with probability `book_share` a snapshot of the
    best DEPTH levels per side instead, interleaved row by row."""
    rng = np.random.default_rng(seed)
    ts = (START_MS + np.cumsum(rng.integers(0, 21, n))).astype(np.int64)
    is_book = rng.random(n) < book_share
    is_book[0] = True  # the book is known before the first trade
    mid = _mid_path(rng, n)
    spread = rng.geometric(0.6, n)  # in ticks, at least 1
    bid0 = mid - spread // 2
    ask0 = bid0 + spread

    t_rows = np.flatnonzero(~is_book)
    side = rng.integers(0, 2, len(t_rows)).astype(np.uint8)
    ticks = np.where(side == 0, ask0[t_rows], bid0[t_rows])
    lots = rng.integers(1, 2_000, len(t_rows))
    tr = Trades(ts[t_rows], ticks / 10, lots / 1000, side)

    b_rows = np.flatnonzero(is_book)
    m = len(b_rows)
    gaps = rng.integers(1, 4, (m, DEPTH))
    gaps[:, 0] = 0
    bid_ticks = bid0[b_rows, None] - np.cumsum(gaps, axis=1)
    gaps = rng.integers(1, 4, (m, DEPTH))
    gaps[:, 0] = 0
    ask_ticks = ask0[b_rows, None] + np.cumsum(gaps, axis=1)
    bid_lots = rng.integers(1, 5_000, (m, DEPTH))
    ask_lots = rng.integers(1, 5_000, (m, DEPTH))
    return MixedStream(ts, is_book, tr, ts[b_rows], bid_ticks, ask_ticks, bid_lots, ask_lots)


@dataclass
class BookUpdate:
    """One recorded L2 message, as text (for the exact-decimal book) and as
    floats (for a float-keyed book)."""

    timestamp: int
    update_id: int
    is_snapshot: bool
    # snapshot: (bids, asks) lists of (price, size); delta: list of (side, price, size)
    text: tuple
    # snapshot: (bids, asks) lists of (price, size); delta: list of (is_bid, price, size)
    floats: tuple


def l2_stream(n: int, snapshot_every: int = 1_000, seed: int = 3) -> list[BookUpdate]:
    """A snapshot, then deltas of one to three level changes near the touch,
    with a fresh full snapshot every `snapshot_every` deltas."""
    rng = random.Random(seed)
    bids = {630_000 - k: rng.randint(1, 5_000) for k in range(1, 26)}
    asks = {630_000 + k: rng.randint(1, 5_000) for k in range(1, 26)}
    ts, uid = START_MS, 1
    out: list[BookUpdate] = []

    def snapshot() -> BookUpdate:
        b = sorted(bids.items(), reverse=True)
        a = sorted(asks.items())
        return BookUpdate(
            ts, uid, True,
            ([(price_text(p), size_text(s)) for p, s in b],
             [(price_text(p), size_text(s)) for p, s in a]),
            ([(p / 10, s / 1000) for p, s in b], [(p / 10, s / 1000) for p, s in a]))

    out.append(snapshot())
    since = 0
    while len(out) < n:
        ts += rng.randint(0, 20)
        uid += 1
        if since == snapshot_every:
            out.append(snapshot())
            since = 0
            continue
        since += 1
        changes = []
        for _ in range(rng.randint(1, 3)):
            is_bid = rng.random() < 0.5
            levels = bids if is_bid else asks
            best_bid, best_ask = max(bids), min(asks)
            r = rng.random()
            if r < 0.6:  # resize a level among the ten best
                order = sorted(levels, reverse=is_bid)
                price = order[rng.randrange(min(10, len(order)))]
                lots = rng.randint(1, 5_000)
            elif r < 0.8 and len(levels) > 10:  # the touch leaves
                price, lots = (best_bid if is_bid else best_ask), 0
            elif best_ask - best_bid > 1:  # a level inside the spread
                price = best_bid + 1 if is_bid else best_ask - 1
                lots = rng.randint(1, 5_000)
            else:  # a level behind the book
                price = (min(bids) - 1) if is_bid else (max(asks) + 1)
                lots = rng.randint(1, 5_000)
            if lots:
                levels[price] = lots
            else:
                del levels[price]
            changes.append((is_bid, price, lots))
        out.append(BookUpdate(
            ts, uid, False,
            tuple(("bid" if b else "ask", price_text(p), size_text(s)) for b, p, s in changes),
            tuple((b, p / 10, s / 1000) for b, p, s in changes)))
    return out
