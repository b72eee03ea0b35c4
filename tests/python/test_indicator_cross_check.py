"""Extractor outputs against an independent NumPy computation on random data:
simple and log returns, rolling volatility, CVD and timed VWAP, with two
symbols interleaved so each must only see its own events."""

import numpy as np
import pytest

from zelk import (
    KIND_PRICE,
    KIND_TRADE,
    SIDE_AGGRESSOR_SELL,
    FeatureExtractor,
    FeatureExtractorSpec,
    WarmupPolicy,
)

LAGS = [1, 4]
VOL_WINDOWS = [2, 7]
CVD_WINDOWS = [3, 10]
AGGREGATION_MS = 1000
VWAP_PERIODS = [1, 3]


def spec_for(symbols, warmup):
    spec = FeatureExtractorSpec()
    for s in symbols:
        (
            spec.simple_returns(s, LAGS)
            .log_returns(s, LAGS)
            .volatility(s, VOL_WINDOWS, warmup=warmup)
            .cvd(s, CVD_WINDOWS, warmup=warmup)
            .vwap_timed(s, "1s", [f"{p}s" for p in VWAP_PERIODS], warmup=warmup)
        )
    return spec


def lagged(values, lag, op):
    out = np.full(len(values), np.nan)
    out[lag:] = op(values[lag:], values[:-lag])
    return out


def expected_returns(prices, lag, log):
    if log:
        return lagged(prices, lag, lambda new, old: np.log(new) - np.log(old))
    return lagged(prices, lag, lambda new, old: (new - old) / old)


def expected_volatility(prices, window, full_window):
    returns = np.diff(prices) / prices[:-1]
    out = np.full(len(prices), np.nan)
    for i in range(1, len(prices)):
        seen = returns[:i]
        if full_window and len(seen) < window:
            continue
        out[i] = np.std(seen[-window:])
    return out


def expected_cvd(signed, window, full_window):
    out = np.full(len(signed), np.nan)
    for i in range(len(signed)):
        if full_window and i + 1 < window:
            continue
        out[i] = signed[max(0, i + 1 - window) : i + 1].sum()
    return out


def expected_vwap(timestamps, prices, volumes, period, full_window):
    window_ms = period * AGGREGATION_MS
    starts = (timestamps // AGGREGATION_MS) * AGGREGATION_MS
    out = np.full(len(prices), np.nan)
    for i, t in enumerate(timestamps):
        if full_window and t - timestamps[0] < window_ms:
            continue
        inside = starts[: i + 1] > starts[i] - window_ms
        out[i] = (prices[: i + 1][inside] * volumes[: i + 1][inside]).sum() / volumes[: i + 1][
            inside
        ].sum()
    return out


@pytest.mark.parametrize("seed", [11, 12])
@pytest.mark.parametrize("warmup", [WarmupPolicy.FIRST_VALUE, WarmupPolicy.FULL_WINDOW])
def test_against_numpy(seed, warmup):
    rng = np.random.default_rng(seed)
    symbols = ["btc", "eth"]
    full_window = warmup == WarmupPolicy.FULL_WINDOW
    ext = FeatureExtractor(spec_for(symbols, warmup))
    handles = {s: ext.symbol(s) for s in symbols}
    names = ext.feature_names()

    n = 400
    kind = rng.choice([KIND_PRICE, KIND_TRADE], size=n).astype(np.uint8)
    which = rng.integers(0, 2, size=n)
    symbol = np.array([handles[symbols[w]] for w in which], dtype=np.int64)
    timestamp = np.cumsum(rng.integers(0, 900, size=n)).astype(np.int64)
    price = 100 * np.exp(np.cumsum(rng.normal(0, 0.01, size=n)))
    volume = rng.exponential(1.5, size=n) + 0.01
    side = rng.integers(0, 2, size=n).astype(np.uint8)

    out = ext.transform(kind, symbol, timestamp, price=price, volume=volume, side=side)

    def column(feature_id):
        return out[:, names.index(feature_id)]

    for w, name in enumerate(symbols):
        prefix = f"symbol={len(name)}:{name}"
        label = "full_window" if full_window else "first_value"
        rows = which == w
        prices_at = rows & (kind == KIND_PRICE)
        trades_at = rows & (kind == KIND_TRADE)
        p = price[prices_at]

        for lag in LAGS:
            for log, text in ((False, "simple_return"), (True, "log_return")):
                got = column(f"{text}:{prefix}:source=field.price:lag={lag}")[prices_at]
                # ln(new) - ln(old) cancels: allow an ulp of the logarithms.
                np.testing.assert_allclose(
                    got, expected_returns(p, lag, log), rtol=1e-13, atol=4e-15
                )
        for window in VOL_WINDOWS:
            got = column(f"volatility:{prefix}:source=field.price:window={window}:warmup={label}")
            np.testing.assert_allclose(
                got[prices_at], expected_volatility(p, window, full_window), rtol=1e-9, atol=1e-15
            )

        signed = np.where(
            side[trades_at] == SIDE_AGGRESSOR_SELL, -volume[trades_at], volume[trades_at]
        )
        for window in CVD_WINDOWS:
            got = column(f"cvd:{prefix}:source=event.trade:window={window}:warmup={label}")
            np.testing.assert_allclose(
                got[trades_at], expected_cvd(signed, window, full_window), rtol=1e-9, atol=1e-12
            )
        for period in VWAP_PERIODS:
            got = column(
                f"vwap_timed:{prefix}:source=event.trade:aggregation_ns=1000000000"
                f":window_ns={period * 1_000_000_000}:warmup={label}"
            )
            expected = expected_vwap(
                timestamp[trades_at], price[trades_at], volume[trades_at], period, full_window
            )
            np.testing.assert_allclose(got[trades_at], expected, rtol=1e-11)
        # Sanity: the comparison covered real values, not only NaN.
        assert (
            np.isfinite(column(f"cvd:{prefix}:source=event.trade:window=3:warmup={label}")).sum()
            > 50
        )
