"""Shared helpers for the Python tests."""

import subprocess
import sys
import textwrap

import numpy as np
import pytest

import zelk

U8 = np.uint8
I64 = np.int64
F64 = np.float64


def columns(rows):
    """Batch columns from (kind, handle, timestamp, price, volume) rows.

    Missing payloads are NaN, which the driver ignores for kinds that do not
    read them.
    """
    kind = np.array([r[0] for r in rows], dtype=U8)
    symbol = np.array([r[1] for r in rows], dtype=I64)
    timestamp = np.array([r[2] for r in rows], dtype=I64)
    price = np.array([r[3] if len(r) > 3 else np.nan for r in rows], dtype=F64)
    volume = np.array([r[4] if len(r) > 4 else np.nan for r in rows], dtype=F64)
    return kind, symbol, timestamp, price, volume


def run_isolated(code):
    """Runs `code` in a fresh interpreter (the symbol table is process-wide
    and never forgets a name) and returns its stdout."""
    result = subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)],
        capture_output=True,
        text=True,
        check=False,
    )
    assert result.returncode == 0, result.stderr
    return result.stdout


@pytest.fixture
def book_spec():
    """A spec with a monotonic book for btc and its best prices and mid."""
    return (
        zelk.FeatureExtractorSpec()
        .configure_order_book("btc", update_policy="monotonic", buffer_size=16)
        .order_book_best_bid_price("btc")
        .order_book_best_ask_price("btc")
        .order_book_mid_price("btc")
    )
