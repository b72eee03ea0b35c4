"""The module's contents after import."""

import zelk
from zelk import _zelk

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


def test_all_lists_every_constant_in_registration_order():
    constants = [name for name in _zelk.__all__ if name in CONSTANTS]
    assert constants == list(CONSTANTS)


def test_package_reexports_the_extension():
    assert zelk.KIND_TIME == 4
    assert zelk.SIDE_AGGRESSOR_SELL == 1
    assert set(zelk.__all__) == set(_zelk.__all__)
