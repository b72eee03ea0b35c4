"""Deterministic sample market data for the demo.

`generate()` simulates a short session of two instruments, btc and eth: a
level-2 order book per symbol that evolves through deltas (size changes,
cancels, new levels, trades eating the touch), periodic full snapshots of that
book, trades with their aggressor side, and an occasional global context value
(a funding rate). The same seed always gives the same rows.

Prices live on an integer tick grid and sizes in integer lots, so every price
and size is written as an exact decimal string; a trade's float price and
volume are parsed from the same strings the book uses.
"""

from __future__ import annotations

import random
from dataclasses import dataclass
from typing import Union

START_MS = 1_709_283_600_000  # 2024-03-01 09:00:00 UTC, a Friday
CONTEXT_NAME = "funding_rate"


@dataclass(frozen=True)
class Trade:
    symbol: str
    timestamp: int
    price: float
    volume: float
    side: int  # 0 = aggressive buy, 1 = aggressive sell


@dataclass(frozen=True)
class Snapshot:
    symbol: str
    timestamp: int
    update_id: int
    bids: tuple[tuple[str, str], ...]  # (price, size), best first
    asks: tuple[tuple[str, str], ...]


@dataclass(frozen=True)
class Delta:
    symbol: str
    timestamp: int
    update_id: int
    changes: tuple[tuple[str, str, str], ...]  # (side, price, size); size 0 deletes


Row = Union[Trade, Snapshot, Delta]


@dataclass(frozen=True)
class SampleData:
    rows: list[Row]
    # Context values applied just before the row with that index.
    context: dict[int, dict[str, float]]


@dataclass(frozen=True)
class _Instrument:
    name: str
    tick_units: int  # tick size in units of 10**-price_scale
    price_scale: int
    start_ticks: int
    max_lots: int  # largest resting size, in thousandths
    weight: float  # share of the event flow
    snapshot_every: int  # deltas between two snapshots


INSTRUMENTS = (
    _Instrument("btc", tick_units=5, price_scale=1, start_ticks=126_000,
                max_lots=4_000, weight=0.6, snapshot_every=150),
    _Instrument("eth", tick_units=5, price_scale=2, start_ticks=69_000,
                max_lots=40_000, weight=0.4, snapshot_every=150),
)

_LOT_SCALE = 3  # sizes are lots of 0.001


def _decimal(units: int, scale: int) -> str:
    text = str(units).rjust(scale + 1, "0")
    return f"{text[:-scale]}.{text[-scale:]}" if scale else text


class _Book:
    """An integer-tick book that emits its own changes as deltas."""

    def __init__(self, inst: _Instrument, rng: random.Random) -> None:
        self.inst = inst
        self.rng = rng
        mid = inst.start_ticks
        self.bids = {mid - 1 - k: self._lots() for k in range(10)}
        self.asks = {mid + 1 + k: self._lots() for k in range(10)}
        self.update_id = 1_000
        self.deltas_since_snapshot = 0

    def _lots(self) -> int:
        return self.rng.randint(1, self.inst.max_lots)

    def price(self, ticks: int) -> str:
        return _decimal(ticks * self.inst.tick_units, self.inst.price_scale)

    @staticmethod
    def size(lots: int) -> str:
        return _decimal(lots, _LOT_SCALE)

    def best_bid(self) -> int:
        return max(self.bids)

    def best_ask(self) -> int:
        return min(self.asks)

    def snapshot(self, timestamp: int) -> Snapshot:
        self.deltas_since_snapshot = 0
        bids = tuple((self.price(p), self.size(self.bids[p]))
                     for p in sorted(self.bids, reverse=True))
        asks = tuple((self.price(p), self.size(self.asks[p])) for p in sorted(self.asks))
        return Snapshot(self.inst.name, timestamp, self.update_id, bids, asks)

    def _delta(self, timestamp: int, changes: list[tuple[str, int, int]]) -> Delta:
        self.update_id += 1
        self.deltas_since_snapshot += 1
        out = []
        for side, ticks, lots in changes:
            levels = self.bids if side == "bid" else self.asks
            if lots:
                levels[ticks] = lots
            else:
                levels.pop(ticks, None)
            out.append((side, self.price(ticks), self.size(lots)))
        return Delta(self.inst.name, timestamp, self.update_id, tuple(out))

    def random_delta(self, timestamp: int) -> Delta:
        rng = self.rng
        side = rng.choice(("bid", "ask"))
        levels = self.bids if side == "bid" else self.asks
        best = self.best_bid() if side == "bid" else self.best_ask()
        away = -1 if side == "bid" else 1  # direction away from the spread
        spread = self.best_ask() - self.best_bid()
        # A wide spread attracts new best levels, which keeps the book tight.
        action = 0.8 if spread > 3 and rng.random() < 0.5 else rng.random()
        if action < 0.55:  # resize one of the five best levels
            ticks = sorted(levels, key=lambda p: away * p)[rng.randrange(min(5, len(levels)))]
            changes = [(side, ticks, self._lots())]
        elif action < 0.72 and len(levels) > 4:  # the touch is cancelled
            changes = [(side, best, 0)]
        elif action < 0.88 and spread > 1:  # a new best level inside the spread
            changes = [(side, best - away, self._lots())]
        else:  # a new level at the back, dropping the furthest when long
            back = max(levels, key=lambda p: away * p)
            changes = [(side, back + away * rng.randint(1, 3), self._lots())]
            if len(levels) >= 15:
                changes.append((side, back, 0))
        return self._delta(timestamp, changes)

    def trade(self, timestamp: int) -> tuple[Trade, Delta]:
        """An aggressive order against the touch, and the delta it leaves behind."""
        side = 0 if self.rng.random() < 0.5 else 1
        book_side, levels = ("ask", self.asks) if side == 0 else ("bid", self.bids)
        touch = min(levels) if side == 0 else max(levels)
        resting = levels[touch]
        lots = min(resting, self.rng.randint(1, self.inst.max_lots // 2))
        if len(levels) == 1:  # never empty a side completely
            lots = min(lots, resting - 1) or resting
        price, size = self.price(touch), self.size(lots)
        trade = Trade(self.inst.name, timestamp, float(price), float(size), side)
        left = resting - lots if len(levels) > 1 else max(resting - lots, 1)
        return trade, self._delta(timestamp, [(book_side, touch, left)])


def generate(n_rows: int = 4_000, seed: int = 20240301) -> SampleData:
    """Rows in timestamp order, each symbol starting with a snapshot of its book."""
    rng = random.Random(seed)
    books = {inst.name: _Book(inst, rng) for inst in INSTRUMENTS}
    names = [inst.name for inst in INSTRUMENTS]
    weights = [inst.weight for inst in INSTRUMENTS]
    t = START_MS
    rows: list[Row] = [books[name].snapshot(t) for name in names]
    context: dict[int, dict[str, float]] = {0: {CONTEXT_NAME: 0.0001}}
    funding = 0.0001
    while len(rows) < n_rows:
        t += int(rng.expovariate(1 / 250)) + 1
        book = books[rng.choices(names, weights)[0]]
        if len(rows) % 500 == 0:
            funding = round(funding + rng.uniform(-5e-5, 5e-5), 6)
            context[len(rows)] = {CONTEXT_NAME: funding}
        if book.deltas_since_snapshot >= book.inst.snapshot_every:
            rows.append(book.snapshot(t))
        elif rng.random() < 0.3:
            rows.extend(book.trade(t))
        else:
            rows.append(book.random_delta(t))
    return SampleData(rows[:n_rows], context)
