"""What a user would write without zelk: the benchmark's reference side.

- `vectorised_*`: pandas and NumPy over whole columns (batch research code).
- `LiveIndicators`: an incremental pure-Python loop (live stepping).
- `python_book_replay`: a float-keyed sortedcontainers book (L2 replay).

Each computes the same quantities as the zelk spec of run.py, with the same
warm-up (NaN until a window is full), so the outputs can be compared.
"""

from __future__ import annotations

import math
from collections import deque
from dataclasses import dataclass

import numpy as np
import pandas as pd
from sortedcontainers import SortedDict


@dataclass(frozen=True)
class Config:
    log_lags: tuple[int, ...] = (1, 10)
    vol_windows: tuple[int, ...] = (20, 100)
    cvd_windows: tuple[int, ...] = (50, 200)
    vwap_aggregation_ms: int = 1_000
    vwap_windows_ms: tuple[int, ...] = (10_000, 60_000)
    imbalance_depths: tuple[int, ...] = (1, 5)

    def trade_columns(self) -> list[str]:
        return ([f"logret_{n}" for n in self.log_lags] + [f"vol_{n}" for n in self.vol_windows]
                + [f"cvd_{n}" for n in self.cvd_windows]
                + [f"vwap_{w}" for w in self.vwap_windows_ms])

    def book_columns(self) -> list[str]:
        return ["mid", "spread", "microprice"] + [f"imb_{d}" for d in self.imbalance_depths]


# --------------------------------------------------------------- vectorised

def _vwap(cfg: Config, eval_ts, n_trades_seen, trade_ts, price, volume) -> dict:
    """Bucketed VWAP at arbitrary rows: trades whose bucket lies in the last
    W / A buckets up to the row's bucket, among the first n_trades_seen trades."""
    a = cfg.vwap_aggregation_ms
    bucket = trade_ts // a * a
    cum_pv = np.concatenate(([0.0], np.cumsum(price * volume)))
    cum_v = np.concatenate(([0.0], np.cumsum(volume)))
    row_bucket = eval_ts // a * a
    first_ts = trade_ts[0] if len(trade_ts) else 0
    out = {}
    for w in cfg.vwap_windows_ms:
        lo = np.searchsorted(bucket, row_bucket - w + a, side="left")
        lo = np.minimum(lo, n_trades_seen)
        v = cum_v[n_trades_seen] - cum_v[lo]
        pv = cum_pv[n_trades_seen] - cum_pv[lo]
        with np.errstate(invalid="ignore", divide="ignore"):
            value = np.where(v != 0.0, pv / v, np.nan)
        ready = (n_trades_seen > 0) & (eval_ts - first_ts >= w)
        out[f"vwap_{w}"] = np.where(ready, value, np.nan)
    return out


def _sample_features(cfg: Config, price, volume, side) -> dict:
    p = pd.Series(price)
    out = {}
    logp = np.log(p)
    for lag in cfg.log_lags:
        out[f"logret_{lag}"] = (logp - logp.shift(lag)).to_numpy()
    prev = p.shift(1)
    simple = (p - prev) / prev
    for n in cfg.vol_windows:
        out[f"vol_{n}"] = simple.rolling(n).std(ddof=0).to_numpy()
    signed = pd.Series(np.where(side == 1, -volume, volume))
    for n in cfg.cvd_windows:
        out[f"cvd_{n}"] = signed.rolling(n).sum().to_numpy()
    return out


def vectorised_trades(cfg: Config, ts, price, volume, side) -> dict:
    """Trade features at every trade row."""
    out = _sample_features(cfg, price, volume, side)
    out.update(_vwap(cfg, ts, np.arange(1, len(ts) + 1), ts, price, volume))
    return out


def vectorised_book(cfg: Config, bid_px, bid_sz, ask_px, ask_sz) -> dict:
    """Book features from wide top-of-book columns (best level first)."""
    pb, pa, sb, sa = bid_px[:, 0], ask_px[:, 0], bid_sz[:, 0], ask_sz[:, 0]
    out = {"mid": (pb + pa) / 2, "spread": np.abs(pa - pb),
           "microprice": (pb * sa + pa * sb) / (sb + sa)}
    cb, ca = np.cumsum(bid_sz, axis=1), np.cumsum(ask_sz, axis=1)
    for d in cfg.imbalance_depths:
        b, a = cb[:, d - 1], ca[:, d - 1]
        out[f"imb_{d}"] = (b - a) / (b + a)
    return out


def vectorised_mixed(cfg: Config, stream) -> dict:
    """All features on the mixed timeline: sample-window features carried
    forward from the last trade, book features from the last snapshot, the
    timed VWAP evaluated at every row."""
    tr = stream.trades
    n_trades_seen = np.cumsum(~stream.is_book)
    n_books_seen = np.cumsum(stream.is_book)
    out = {}
    sample = _sample_features(cfg, tr.price, tr.volume, tr.side)
    last_trade = n_trades_seen - 1
    for name, col in sample.items():
        out[name] = np.where(last_trade >= 0, col[np.maximum(last_trade, 0)], np.nan)
    out.update(_vwap(cfg, stream.timestamp, n_trades_seen, tr.timestamp, tr.price, tr.volume))
    book = vectorised_book(cfg, stream.bid_px(), stream.bid_sz(), stream.ask_px(),
                           stream.ask_sz())
    last_book = n_books_seen - 1
    for name, col in book.items():
        out[name] = np.where(last_book >= 0, col[np.maximum(last_book, 0)], np.nan)
    return out


# ------------------------------------------------------------- incremental

class LiveIndicators:
    """The trade features, updated one trade at a time in plain Python."""

    def __init__(self, cfg: Config) -> None:
        self.cfg = cfg
        self.prices = deque(maxlen=max(cfg.log_lags) + 1)
        self.prev = None
        self.returns = deque(maxlen=max(cfg.vol_windows))
        self.moments = [[0, 0.0, 0.0] for _ in cfg.vol_windows]  # count, mean, m2
        self.signed = deque(maxlen=max(cfg.cvd_windows))
        self.cvd = [0.0 for _ in cfg.cvd_windows]
        self.first_ts = None
        self.bucket_start = []  # every bucket seen; windows keep a front index
        self.bucket_pv = []
        self.bucket_v = []
        self.win = [[0, 0.0, 0.0] for _ in cfg.vwap_windows_ms]  # front, pv, v

    def update(self, ts: int, price: float, volume: float, side: int) -> list[float]:
        cfg = self.cfg
        out = []
        prices = self.prices
        prices.append(price)
        for lag in cfg.log_lags:
            out.append(math.log(price) - math.log(prices[-1 - lag])
                       if lag < len(prices) else math.nan)

        prev, self.prev = self.prev, price
        if prev is not None and prev != 0.0:
            r = (price - prev) / prev
            rets = self.returns
            evicted = rets[0] if len(rets) == rets.maxlen else None
            rets.append(r)
            for (n, m) in zip(cfg.vol_windows, self.moments):
                count, mean, m2 = m
                count += 1
                delta = r - mean
                mean += delta / count
                m2 += (r - mean) * delta
                # the return leaving this window, if any
                v = rets[-1 - n] if len(rets) > n else (evicted if n == rets.maxlen else None)
                if v is not None:
                    count -= 1
                    old = mean
                    mean -= (v - mean) / count
                    m2 -= (v - mean) * (v - old)
                m[0], m[1], m[2] = count, mean, m2
        for (n, m) in zip(cfg.vol_windows, self.moments):
            out.append(math.sqrt(max(m[2] / m[0], 0.0)) if len(self.returns) >= n and m[0]
                       else math.nan)

        v = -volume if side == 1 else volume
        sig = self.signed
        for i, n in enumerate(cfg.cvd_windows):
            s = self.cvd[i] + v
            if n <= len(sig):
                s -= sig[-n]
            self.cvd[i] = s
        sig.append(v)
        for i, n in enumerate(cfg.cvd_windows):
            out.append(self.cvd[i] if len(sig) >= n else math.nan)

        a = cfg.vwap_aggregation_ms
        c = ts // a * a
        if self.first_ts is None:
            self.first_ts = ts
        starts, pvs, vs = self.bucket_start, self.bucket_pv, self.bucket_v
        for w, st in zip(cfg.vwap_windows_ms, self.win):
            front = st[0]
            while front < len(starts) and c >= starts[front] + w:
                st[1] -= pvs[front]
                st[2] -= vs[front]
                front += 1
            if front == len(starts):
                st[1] = st[2] = 0.0
            st[0] = front
        pv = price * volume
        if starts and starts[-1] == c:
            pvs[-1] += pv
            vs[-1] += volume
        else:
            starts.append(c)
            pvs.append(pv)
            vs.append(volume)
        for w, st in zip(cfg.vwap_windows_ms, self.win):
            st[1] += pv
            st[2] += volume
            ready = ts - self.first_ts >= w
            out.append(st[1] / st[2] if ready and st[2] != 0.0 else math.nan)
        return out


# -------------------------------------------------------------- python book

def python_book_replay(cfg: Config, updates) -> np.ndarray:
    """Replays BookUpdate messages into two SortedDicts; one feature row per message."""
    bids, asks = SortedDict(), SortedDict()
    last_id = None
    rows = []
    depths = cfg.imbalance_depths
    nan = math.nan
    for u in updates:
        if u.is_snapshot:
            bids.clear()
            asks.clear()
            bids.update(u.floats[0])
            asks.update(u.floats[1])
            last_id = u.update_id
        elif last_id is not None and u.update_id > last_id:
            for is_bid, price, size in u.floats:
                side = bids if is_bid else asks
                if size == 0.0:
                    side.pop(price, None)
                else:
                    side[price] = size
            last_id = u.update_id
        if bids and asks:
            pb, sb = bids.peekitem(-1)
            pa, sa = asks.peekitem(0)
            row = [(pb + pa) / 2, abs(pa - pb), (pb * sa + pa * sb) / (sb + sa)]
            bv, av = bids.values(), asks.values()
            for d in depths:
                b = sum(bv[-d:])
                a = sum(av[:d])
                row.append((b - a) / (b + a))
        else:
            row = [nan] * (3 + len(depths))
        rows.append(row)
    return np.array(rows)
