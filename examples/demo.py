"""zelk demo: one spec, replayed in batch and stepped live, with identical results.

Run with `make demo` (or `python examples/demo.py` once zelk is installed).
It replays the bundled sample session (trades and level-2 book updates for two
symbols, see sample_data.py) through a spec of 22 features, first in batch and
then one event at a time, checks that both give bit-identical rows, prints the
last rows, and writes the spec's JSON artifact and a chart to examples/out/.
"""

from __future__ import annotations

import sys
import time
from pathlib import Path

import numpy as np

import zelk

sys.path.insert(0, str(Path(__file__).resolve().parent))
from sample_data import CONTEXT_NAME, Delta, SampleData, Snapshot, Trade, generate  # noqa: E402

OUT_DIR = Path(__file__).resolve().parent / "out"


def build_spec() -> zelk.FeatureExtractorSpec:
    spec = zelk.FeatureExtractorSpec()
    for sym in ("btc", "eth"):
        spec.configure_order_book(sym, update_policy="contiguous", buffer_size=512)
    (spec.log_returns("btc", [1, 20], source="trade_price")
         .volatility("btc", [50, 200], source="trade_price")
         .vwap_timed("btc", "1s", ["30s", "5m"])
         .cvd("btc", [100])
         .trade_count_timed("btc", "1s", "1m")
         .order_book_mid_price("btc")
         .order_book_spread("btc")
         .order_book_microprice("btc")
         .order_book_imbalance("btc", [1, 5]))
    (spec.log_returns("eth", [1], source="trade_price")
         .volatility("eth", [50], source="trade_price")
         .vwap_timed("eth", "1s", ["30s"])
         .cvd("eth", [100])
         .order_book_mid_price("eth")
         .order_book_spread_bps("eth")
         .order_book_imbalance("eth", [5]))
    return spec.day_of_week().context("__global__", CONTEXT_NAME, id=CONTEXT_NAME)


def book_event(row: Snapshot | Delta) -> zelk.OrderBookEvent:
    if isinstance(row, Snapshot):
        return zelk.OrderBookEvent.snapshot(row.symbol, row.timestamp, row.update_id,
                                            row.bids, row.asks)
    return zelk.OrderBookEvent.delta(row.symbol, row.timestamp, row.update_id, row.changes)


def _runs(rows: list) -> list[tuple[int, int]]:
    """[start, end) ranges of consecutive rows that go through the same batch call."""
    runs, start = [], 0
    for i in range(1, len(rows) + 1):
        if i == len(rows) or isinstance(rows[i], Trade) != isinstance(rows[start], Trade):
            runs.append((start, i))
            start = i
    return runs


def replay_batch(spec: zelk.FeatureExtractorSpec, data: SampleData) -> np.ndarray:
    """Batch replay: trades through transform, book updates through
    transform_order_book, one call per run of consecutive rows in time order."""
    ext = zelk.FeatureExtractor(spec)
    handles = {}
    blocks = []
    for start, end in _runs(data.rows):
        rows = data.rows[start:end]
        context = {i - start: data.context[i] for i in range(start, end) if i in data.context}
        if isinstance(rows[0], Trade):
            for r in rows:
                if r.symbol not in handles:
                    handles[r.symbol] = ext.symbol(r.symbol)
            blocks.append(ext.transform(
                np.full(len(rows), zelk.KIND_TRADE, dtype=np.uint8),
                np.array([handles[r.symbol] for r in rows], dtype=np.int64),
                np.array([r.timestamp for r in rows], dtype=np.int64),
                price=np.array([r.price for r in rows]),
                volume=np.array([r.volume for r in rows]),
                side=np.array([r.side for r in rows], dtype=np.uint8),
                context_updates=context or None))
        else:
            blocks.append(ext.transform_order_book([book_event(r) for r in rows],
                                                   context_updates=context or None))
    return np.vstack(blocks) if blocks else np.empty((0, ext.n_features()))


def replay_live(spec: zelk.FeatureExtractorSpec, data: SampleData) -> np.ndarray:
    """Live stepping: the same rows one event at a time, reading values() after each."""
    ext = zelk.FeatureExtractor(spec)
    out = np.empty((len(data.rows), ext.n_features()))
    for i, row in enumerate(data.rows):
        if i in data.context:
            ext.update_context(data.context[i])
        if isinstance(row, Trade):
            ext.update(zelk.KIND_TRADE, ext.symbol(row.symbol), row.timestamp,
                       price=row.price, volume=row.volume, side=row.side)
        else:
            ext.update_order_book(book_event(row))
        out[i] = ext.values()
    return out


# Columns of the printed table and the chart: label -> (feature kind, symbol, ID fragment).
COLUMNS = {
    "btc mid": ("order_book_mid_price", "btc", ""),
    "btc spread": ("order_book_spread", "btc", ""),
    "btc micro": ("order_book_microprice", "btc", ""),
    "btc imb5": ("order_book_imbalance", "btc", "n_levels=5"),
    "btc vwap30s": ("vwap_timed", "btc", "window_ns=30000000000:"),
    "btc vwap5m": ("vwap_timed", "btc", "window_ns=300000000000:"),
    "btc cvd100": ("cvd", "btc", ""),
    "btc vol200": ("volatility", "btc", "window=200"),
    "eth mid": ("order_book_mid_price", "eth", ""),
    "eth bps": ("order_book_spread_bps", "eth", ""),
}


def column_index(names: list[str], kind: str, symbol: str, fragment: str) -> int:
    prefix = f"{kind}:symbol={len(symbol)}:{symbol}:"
    found = [i for i, n in enumerate(names) if n.startswith(prefix) and fragment in n]
    if len(found) != 1:
        raise LookupError(f"{len(found)} features match {prefix}...{fragment}")
    return found[0]


def print_table(data: SampleData, names: list[str], values: np.ndarray, last: int) -> None:
    labels = ["btc mid", "btc spread", "btc micro", "btc imb5", "btc vwap30s", "btc cvd100",
              "eth mid", "eth bps"]
    cols = [column_index(names, *COLUMNS[label]) for label in labels]
    print(f"{'t+s':>7} {'event':<9}" + "".join(f"{label:>12}" for label in labels))
    for i in range(len(data.rows) - last, len(data.rows)):
        row = data.rows[i]
        event = f"{row.symbol} {type(row).__name__.lower()[:5]}"
        cells = "".join(f"{values[i, c]:>12.4f}" for c in cols)
        print(f"{(row.timestamp - data.rows[0].timestamp) / 1000:>7.1f} {event:<9}{cells}")


def plot(data: SampleData, names: list[str], values: np.ndarray, path: Path) -> bool:
    try:
        import matplotlib
    except ImportError:
        print("matplotlib is not installed: skipping the chart (pip install 'zelk[demo]')")
        return False
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    minutes = (np.array([r.timestamp for r in data.rows]) - data.rows[0].timestamp) / 60_000
    col = {label: values[:, column_index(names, *spec)] for label, spec in COLUMNS.items()}
    fig, axes = plt.subplots(4, 1, figsize=(10, 9), sharex=True)
    for label in ("btc mid", "btc micro", "btc vwap30s", "btc vwap5m"):
        axes[0].plot(minutes, col[label], label=label, lw=0.9)
    axes[0].set_ylabel("price")
    axes[1].plot(minutes, col["btc spread"], label="btc spread", lw=0.8, color="tab:purple")
    axes[1].set_ylabel("spread")
    axes[2].plot(minutes, col["btc imb5"], label="btc imbalance (5 levels)", lw=0.6,
                 color="tab:green")
    axes[2].axhline(0, color="grey", lw=0.5)
    axes[2].set_ylabel("imbalance")
    axes[3].plot(minutes, col["btc cvd100"], label="btc CVD (100 trades)", lw=0.9,
                 color="tab:red")
    axes[3].set_ylabel("CVD")
    axes[3].set_xlabel("minutes since session start")
    for ax in axes:
        ax.legend(loc="upper left", fontsize=8)
        ax.grid(alpha=0.3)
    fig.suptitle("zelk demo: btc features over the sample session")
    fig.tight_layout()
    fig.savefig(path, dpi=110)
    plt.close(fig)
    return True


def main() -> int:
    data = generate()
    spec = build_spec()
    kinds = {k: sum(isinstance(r, k) for r in data.rows) for k in (Trade, Delta, Snapshot)}
    print(f"zelk demo: {len(data.rows)} events for btc and eth ({kinds[Trade]} trades, "
          f"{kinds[Delta]} book deltas, {kinds[Snapshot]} snapshots), "
          f"{spec.output_count()} features:")
    names = spec.feature_ids()
    for i, name in enumerate(names):
        print(f"  {i:2d} {name}")

    t0 = time.perf_counter()
    batch = replay_batch(spec, data)
    t1 = time.perf_counter()
    live = replay_live(spec, data)
    t2 = time.perf_counter()
    print(f"batch replay, one transform / transform_order_book call per run of same-kind rows "
          f"({len(_runs(data.rows))} runs): {(t1 - t0) * 1e3:.1f} ms")
    print(f"live stepping (update / update_order_book per event): {(t2 - t1) * 1e3:.1f} ms")
    same = np.array_equal(batch, live, equal_nan=True)
    print(f"batch == live, bit for bit ({batch.shape[0]} x {batch.shape[1]} cells): "
          f"{'yes' if same else 'NO'}")

    OUT_DIR.mkdir(exist_ok=True)
    (OUT_DIR / "spec.json").write_text(spec.to_json())
    print(f"spec artifact: {OUT_DIR / 'spec.json'}")
    print("last rows (t+s: seconds since start; book cells hold the last committed book):")
    print_table(data, names, batch, last=8)
    if plot(data, names, batch, OUT_DIR / "features.png"):
        print(f"chart: {OUT_DIR / 'features.png'}")
    return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main())
