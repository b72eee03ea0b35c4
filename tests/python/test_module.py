"""The module's contents after import, errors mapping, and the shipped stubs."""

import ast
import pathlib

import numpy as np
import pytest

import zelk
from zelk import _zelk

CLASSES = ["OrderBookEvent", "WarmupPolicy", "FeatureExtractorSpec", "FeatureExtractor"]
CONSTANTS = {
    "KIND_PRICE": 0,
    "KIND_VOLUME": 1,
    "KIND_TRADE": 2,
    "KIND_ORDERBOOK": 3,
    "KIND_TIME": 4,
    "SIDE_AGGRESSOR_BUY": 0,
    "SIDE_AGGRESSOR_SELL": 1,
}


def test_constants_have_their_values_and_are_ints():
    for name, value in CONSTANTS.items():
        assert getattr(_zelk, name) == value
        assert type(getattr(_zelk, name)) is int


def test_all_lists_classes_then_constants_in_registration_order():
    assert _zelk.__all__ == CLASSES + list(CONSTANTS)
    for name in CLASSES:
        assert isinstance(getattr(_zelk, name), type)


def test_package_reexports_the_extension():
    assert zelk.KIND_TIME == 4
    assert zelk.SIDE_AGGRESSOR_SELL == 1
    assert zelk.__all__ == _zelk.__all__
    for name in _zelk.__all__:
        assert getattr(zelk, name) is getattr(_zelk, name)


def test_core_errors_are_value_errors_and_lists_are_type_errors():
    ext = zelk.FeatureExtractor(zelk.FeatureExtractorSpec().field("btc"))
    h = ext.symbol("btc")
    ext.update(zelk.KIND_PRICE, h, 10, price=1.0)
    with pytest.raises(ValueError) as error:
        ext.update(zelk.KIND_PRICE, h, 9, price=1.0)
    assert str(error.value) == (
        "timestamp 9 for price event for symbol btc is earlier than previous timestamp 10"
    )
    with pytest.raises(TypeError):
        ext.transform([0], np.array([h]), np.array([11]), price=np.array([1.0]))


def stub_tree():
    path = pathlib.Path(zelk.__file__).with_name("_zelk.pyi")
    assert path.is_file(), f"{path} is not installed"
    return ast.parse(path.read_text())


def test_stubs_are_shipped_and_match_the_module():
    tree = stub_tree()
    assert pathlib.Path(zelk.__file__).with_name("py.typed").is_file()
    classes = {node.name: node for node in tree.body if isinstance(node, ast.ClassDef)}
    assert list(classes) == CLASSES
    for name, node in classes.items():
        stubbed = {
            item.name
            for item in node.body
            if isinstance(item, ast.FunctionDef) and not item.name.startswith("_")
        }
        stubbed |= {
            item.target.id
            for item in node.body
            if isinstance(item, ast.AnnAssign) and isinstance(item.target, ast.Name)
        }
        public = {m for m in dir(getattr(_zelk, name)) if not m.startswith("_")}
        assert stubbed == public, name
    constants = {
        node.target.id
        for node in tree.body
        if isinstance(node, ast.AnnAssign) and isinstance(node.target, ast.Name)
    }
    assert set(CONSTANTS) <= constants
