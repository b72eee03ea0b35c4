"""FeatureExtractor: construction from a spec or JSON, layout and names,
reserved cells, docstrings."""

import math

import numpy as np
import pytest

from zelk import KIND_PRICE, KIND_TRADE, FeatureExtractor, FeatureExtractorSpec


def three_outputs(capacity=None):
    spec = FeatureExtractorSpec(capacity=capacity) if capacity else FeatureExtractorSpec()
    return spec.field("btc").simple_returns("btc", [1]).vpt("btc")


def test_layout_with_reserved_cells():
    spec = three_outputs(capacity=5)
    ext = FeatureExtractor(spec)
    assert ext.n_features() == 5
    assert ext.active_feature_count() == 3
    names = ext.feature_names()
    assert names[:3] == spec.feature_ids()
    assert names[3:] == ["__reserved_3", "__reserved_4"]
    h = ext.symbol("btc")
    for t, price in enumerate([10.0, 11.0, 12.0]):
        ext.update(KIND_PRICE, h, t, price=price)
        ext.update(KIND_TRADE, h, t, price=price, volume=2.0)
    values = ext.values()
    assert values.shape == (5,)
    assert not any(math.isnan(v) for v in values[:3])
    assert all(math.isnan(v) for v in values[3:])
    out = ext.transform(
        np.array([KIND_PRICE], dtype=np.uint8), np.array([h]), np.array([9]), price=np.array([1.0])
    )
    assert out.shape == (1, 5) and all(math.isnan(v) for v in out[0, 3:])


def test_without_reserved_cells():
    ext = FeatureExtractor(three_outputs())
    assert ext.n_features() == ext.active_feature_count() == 3
    assert all(math.isnan(v) for v in ext.values())


def test_empty_spec_builds():
    ext = FeatureExtractor(FeatureExtractorSpec(capacity=2))
    assert ext.feature_names() == ["__reserved_0", "__reserved_1"]
    assert ext.active_feature_count() == 0


def test_from_json():
    spec = three_outputs(capacity=4)
    ext = FeatureExtractor.from_json(spec.to_json(), output_dtype="float32")
    assert ext.feature_names() == spec.feature_ids() + ["__reserved_3"]
    assert ext.output_dtype == "float32"
    assert isinstance(ext, FeatureExtractor)


def test_spec_errors_come_before_dtype_errors():
    with pytest.raises(ValueError) as error:
        FeatureExtractor.from_json("not json", output_dtype="int8")
    assert "line 1" in str(error.value)
    bad = FeatureExtractorSpec().volatility("btc", [0])
    with pytest.raises(ValueError) as error:
        FeatureExtractor(bad, output_dtype="int8")
    assert str(error.value).startswith(
        "invalid indicator definition at index 0: rolling volatility"
    )
    with pytest.raises(ValueError) as error:
        FeatureExtractor(three_outputs(), output_dtype="int8")
    assert str(error.value).startswith("output_dtype must be")


@pytest.mark.parametrize(
    "call",
    [
        lambda: FeatureExtractor(),
        lambda: FeatureExtractor("spec"),
        lambda: FeatureExtractor.from_json(b"{}"),
        lambda: FeatureExtractor(three_outputs()).update(0, 0),
        lambda: FeatureExtractor(three_outputs()).update(0, 0, 1, 2.0),  # price is keyword-only
        lambda: FeatureExtractor(three_outputs()).update(0, 0, 1.5, price=1.0),
        lambda: FeatureExtractor(three_outputs()).update(300, 0, 1),
        lambda: FeatureExtractor(three_outputs()).update(0, 0, 1, pricee=1.0),
        lambda: FeatureExtractor(three_outputs()).symbol(5),
        lambda: FeatureExtractor(three_outputs()).update_order_book("event"),
    ],
)
def test_argument_type_errors(call):
    with pytest.raises(TypeError):
        call()


def test_docstrings():
    def summary(name):
        return getattr(FeatureExtractor, name).__doc__.partition("\n\n")[2]

    assert summary("from_json") == (
        "Build an extractor directly from versioned FeatureExtractorSpec JSON."
    )
    assert summary("feature_names") == "Feature (column) names in output order."
    assert summary("n_features") == "Number of feature columns."
    assert summary("active_feature_count") == (
        "Number of configured outputs, excluding trailing reserved cells."
    )
    assert summary("update_context") == (
        "Replace context values atomically without advancing market-event state."
    )
    assert summary("update_order_book") == (
        "Applies a validated snapshot/delta, preserving core synchronization semantics."
    )
    assert FeatureExtractor.output_dtype.__doc__ == (
        "Numeric dtype used by arrays returned to Python."
    )
    assert FeatureExtractor.output_dtype.fset.__doc__.endswith(
        "Change the output dtype before the first event is processed."
    )
    assert "512" in summary("symbol")
    signatures = {
        "update": "update(self, kind: int, symbol: int, timestamp: int, *, price: float | None "
        "= None, volume: float | None = None, side: int | None = None, bid: float | None = None, "
        "ask: float | None = None)",
        "transform_order_book": "transform_order_book(self, events: ",
        "update_context": "update_context(self, updates: dict[str, float | None])",
    }
    for name, start in signatures.items():
        assert getattr(FeatureExtractor, name).__doc__.startswith(start), name
    transform = FeatureExtractor.transform.__doc__.split("\n")[0]
    for part in (
        "(self, kind: ",
        ", symbol: ",
        ", timestamp: ",
        ", *, price: ",
        "context_updates: ",
    ):
        assert part in transform
