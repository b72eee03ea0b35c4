"""The demo's replay must keep working: batch and live agree on its sample data."""

import importlib.util
import sys
from pathlib import Path

import numpy as np
import pytest

EXAMPLES = Path(__file__).resolve().parents[2] / "examples"


@pytest.fixture(scope="module")
def demo():
    spec = importlib.util.spec_from_file_location("zelk_demo", EXAMPLES / "demo.py")
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


@pytest.fixture(scope="module")
def sample(demo):
    return demo.generate(n_rows=2000)


def test_sample_data_is_deterministic_and_time_ordered(demo, sample):
    assert demo.generate(n_rows=2000) == sample
    stamps = [row.timestamp for row in sample.rows]
    assert stamps == sorted(stamps)
    kinds = {type(row).__name__ for row in sample.rows}
    assert kinds == {"Trade", "Snapshot", "Delta"}
    assert {row.symbol for row in sample.rows} == {"btc", "eth"}


def test_batch_replay_equals_live_stepping(demo, sample):
    spec = demo.build_spec()
    batch = demo.replay_batch(spec, sample)
    live = demo.replay_live(spec, sample)
    assert batch.shape == (len(sample.rows), spec.output_count())
    assert np.array_equal(batch, live, equal_nan=True)
    # The slice is long enough for every feature to hold a value by the end,
    # so the comparison covers real values and not only NaN cells.
    names = spec.feature_ids()
    missing = [names[i] for i in np.flatnonzero(np.isnan(batch[-1]))]
    assert missing == []
    assert len(demo._runs(sample.rows)) > 2


def test_context_values_reach_their_rows(demo, sample):
    spec = demo.build_spec()
    batch = demo.replay_batch(spec, sample)
    col = spec.feature_ids().index(demo.CONTEXT_NAME)
    for row, values in sample.context.items():
        assert batch[row, col] == values[demo.CONTEXT_NAME]


def test_table_columns_resolve_to_single_features(demo):
    names = demo.build_spec().feature_ids()
    indices = [demo.column_index(names, *spec) for spec in demo.COLUMNS.values()]
    assert len(set(indices)) == len(indices)


def test_chart_is_skipped_without_matplotlib(demo, sample, monkeypatch, tmp_path, capsys):
    monkeypatch.setitem(sys.modules, "matplotlib", None)
    spec = demo.build_spec()
    path = tmp_path / "features.png"
    assert not demo.plot(sample, spec.feature_ids(), np.zeros((0, 0)), path)
    assert not path.exists()
    assert "matplotlib is not installed" in capsys.readouterr().out
