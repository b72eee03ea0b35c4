"""Order-book builder methods of FeatureExtractorSpec: IDs, argument rules in
their check order, book configuration, and a built extractor reading books."""

import math

import pytest

from zelk import FeatureExtractor, FeatureExtractorSpec, OrderBookEvent

PREFIX = "symbol=3:btc:source=order_book"
NEGATIVE = "book prices and sizes must be nonnegative"
BAD_SIDE = "book side must be bid or ask"
SCALARS = [
    "order_book_mid_price",
    "order_book_spread",
    "order_book_spread_bps",
    "order_book_weighted_mid_price",
    "order_book_microprice",
    "order_book_best_bid_price",
    "order_book_best_bid_size",
    "order_book_best_ask_price",
    "order_book_best_ask_size",
]
QUERIES = [
    "order_book_level_size",
    "order_book_nth_price",
    "order_book_nth_size",
    "order_book_depth_until_price",
    "order_book_depth_until_size_price_from",
    "order_book_depth_until_size_price_to",
    "order_book_depth_until_size_total_size",
    "order_book_volume_between_prices",
]


def spec_with_book():
    return FeatureExtractorSpec().configure_order_book(
        "btc", update_policy="monotonic", buffer_size=8
    )


@pytest.mark.parametrize("method", SCALARS)
def test_scalar_method_ids(method):
    spec = spec_with_book()
    assert getattr(spec, method)("BTC") is spec
    assert spec.feature_ids() == [f"{method}:{PREFIX}"]


@pytest.mark.parametrize(
    "call, ids",
    [
        (
            lambda s: s.order_book_imbalance("btc", [5, 1, 10]),
            [f"order_book_imbalance:{PREFIX}:n_levels={n}" for n in (5, 1, 10)],
        ),
        (
            lambda s: s.order_book_level_size("btc", "bid", "100.500"),
            [f"order_book_level_size:{PREFIX}:side=bid:price=100.5"],
        ),
        (
            lambda s: s.order_book_nth_price("btc", "ask", 2),
            [f"order_book_nth_price:{PREFIX}:side=ask:n_levels=2"],
        ),
        (
            lambda s: s.order_book_nth_size("btc", "bid", 3),
            [f"order_book_nth_size:{PREFIX}:side=bid:n_levels=3"],
        ),
        (
            lambda s: s.order_book_depth_until_price("btc", "ask", "101.0"),
            [f"order_book_depth_until_price:{PREFIX}:side=ask:price=101"],
        ),
        (
            lambda s: s.order_book_depth_until_size_price_from("btc", "bid", "2.50"),
            [f"order_book_depth_until_size_price_from:{PREFIX}:side=bid:size=2.5"],
        ),
        (
            lambda s: s.order_book_depth_until_size_price_to("btc", "bid", "1"),
            [f"order_book_depth_until_size_price_to:{PREFIX}:side=bid:size=1"],
        ),
        (
            lambda s: s.order_book_depth_until_size_total_size("btc", "ask", "0.1"),
            [f"order_book_depth_until_size_total_size:{PREFIX}:side=ask:size=0.1"],
        ),
        (
            lambda s: s.order_book_volume_between_prices("btc", "bid", "99", "100.25"),
            [f"order_book_volume_between_prices:{PREFIX}:side=bid:from_price=99:to_price=100.25"],
        ),
    ],
)
def test_query_method_ids(call, ids):
    spec = spec_with_book()
    assert call(spec) is spec
    assert spec.feature_ids() == ids


def test_imbalance_depths_form_one_group_in_request_order():
    spec = spec_with_book().order_book_imbalance("btc", [5, 1]).order_book_imbalance("btc", [10])
    assert [i.rsplit("=", 1)[1] for i in spec.feature_ids()] == ["5", "1", "10"]
    assert spec.indicator_count() == 1


def test_equal_decimal_prices_make_equal_keys():
    spec = spec_with_book().order_book_level_size("btc", "bid", "100.50")
    spec.order_book_level_size("btc", "bid", "100.5")
    first, second = spec.feature_ids()
    assert first == second
    with pytest.raises(ValueError) as error:
        FeatureExtractor(spec)
    assert str(error.value) == (
        "invalid indicator definition at index 1: order book level size: duplicates an "
        "earlier feature key"
    )


IMBALANCE = "imbalance requires one to sixteen positive depths"


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda s: s.order_book_imbalance("btc", []), IMBALANCE),
        (lambda s: s.order_book_imbalance("btc", list(range(1, 18))), IMBALANCE),
        (lambda s: s.order_book_imbalance("btc", [3, 0]), IMBALANCE),
        # Price first, then symbol, then side.
        (lambda s: s.order_book_level_size("btc", "both", "-1"), NEGATIVE),
        (
            lambda s: s.order_book_level_size("btc", "bid", "1.2.3"),
            "invalid exact decimal: Invalid decimal: two decimal points",
        ),
        (lambda s: s.order_book_level_size("btc", "BID", "1"), BAD_SIDE),
        (lambda s: s.order_book_depth_until_price("btc", "x", "-0.1"), NEGATIVE),
        (lambda s: s.order_book_depth_until_price("btc", "x", "1"), BAD_SIDE),
        # n_levels, then symbol, then side.
        (lambda s: s.order_book_nth_price("btc", "x", 0), "n_levels must be positive"),
        (lambda s: s.order_book_nth_size("btc", "x", 0), "n_levels must be positive"),
        (lambda s: s.order_book_nth_size("btc", "x", 1), BAD_SIDE),
        # Size, size != 0, then symbol, then side.
        (
            lambda s: s.order_book_depth_until_size_price_from("btc", "x", "0.000"),
            "target size must be positive",
        ),
        (lambda s: s.order_book_depth_until_size_price_to("btc", "x", "-1"), NEGATIVE),
        (
            lambda s: s.order_book_depth_until_size_total_size("btc", "x", "-0"),
            "target size must be positive",
        ),
        (lambda s: s.order_book_depth_until_size_total_size("btc", "x", "1"), BAD_SIDE),
        # from_price, to_price, their order, then symbol, then side.
        (
            lambda s: s.order_book_volume_between_prices("btc", "x", "100", "100"),
            "from_price must be less than to_price",
        ),
        (
            lambda s: s.order_book_volume_between_prices("btc", "x", "100.0", "99"),
            "from_price must be less than to_price",
        ),
        (
            lambda s: s.order_book_volume_between_prices("btc", "x", "-1", "abc"),
            NEGATIVE,
        ),
        (
            lambda s: s.order_book_volume_between_prices("btc", "x", "1", "abc"),
            "invalid exact decimal: Invalid decimal: unknown character",
        ),
        (lambda s: s.order_book_volume_between_prices("btc", "x", "1", "2"), BAD_SIDE),
        # Book configuration.
        (
            lambda s: s.configure_order_book("eth", update_policy="Monotonic", buffer_size=1),
            "update_policy must be monotonic or contiguous",
        ),
        (
            lambda s: s.configure_order_book("BTC", update_policy="contiguous", buffer_size=1),
            "more than one order book is configured for symbol btc",
        ),
        (
            lambda s: s.configure_order_book(
                "__global__", update_policy="monotonic", buffer_size=1
            ),
            "invalid argument: order books require a non-global symbol",
        ),
    ],
)
def test_argument_errors_leave_the_spec_unchanged(call, message):
    spec = spec_with_book().order_book_mid_price("btc")
    before = (spec.feature_ids(), spec.to_json())
    with pytest.raises(ValueError) as error:
        call(spec)
    assert str(error.value) == message
    assert (spec.feature_ids(), spec.to_json()) == before


@pytest.mark.parametrize(
    "call",
    [
        lambda s: s.configure_order_book("eth", update_policy="monotonic", buffer_size=-1),
        lambda s: s.configure_order_book("eth", update_policy="monotonic"),
        lambda s: s.configure_order_book("eth", "monotonic", 4),
        lambda s: s.order_book_nth_price("btc", "bid", -1),
        lambda s: s.order_book_level_size("btc", "bid", 100),
        lambda s: s.order_book_imbalance("btc", 5),
    ],
)
def test_wrong_argument_types_are_type_errors(call):
    with pytest.raises(TypeError):
        call(spec_with_book())


def test_builder_docstrings():
    def summary(name):
        return getattr(FeatureExtractorSpec, name).__doc__.partition("\n\n")[2]

    assert summary("configure_order_book") == (
        "Configures a fresh book; parameters are preserved in the saved artifact."
    )
    for name in SCALARS:
        assert summary(name) == f"Adds the {name} scalar output for a configured book."
    assert summary("order_book_imbalance") == "Adds grouped imbalance depths in the supplied order."
    for name in QUERIES:
        assert summary(name) == (
            "Adds an exact book query; side is bid or ask and prices/sizes are strings."
        )
    signature = FeatureExtractorSpec.configure_order_book.__doc__.split("\n")[0]
    assert signature.startswith(
        "configure_order_book(self, symbol: str, *, update_policy: str, buffer_size: int)"
    )


def test_books_survive_json_and_feed_features():
    spec = (
        FeatureExtractorSpec()
        .configure_order_book("eth", update_policy="contiguous", buffer_size=4)
        .configure_order_book("btc", update_policy="monotonic", buffer_size=4)
        .order_book_level_size("btc", "bid", "100")
        .order_book_nth_price("btc", "ask", 2)
        .order_book_best_bid_size("eth")
    )
    text = spec.to_json()
    assert '"update_policy": "contiguous"' in text
    for ext in (FeatureExtractor(spec), FeatureExtractor.from_json(text)):
        ext.update_order_book(
            OrderBookEvent.snapshot("btc", 1, 1, [("100", "2.5")], [("101", "1"), ("102", "3")])
        )
        values = dict(zip(ext.feature_names(), ext.values()))
        assert values[f"order_book_level_size:{PREFIX}:side=bid:price=100"] == 2.5
        assert values[f"order_book_nth_price:{PREFIX}:side=ask:n_levels=2"] == 102.0
        assert math.isnan(values["order_book_best_bid_size:symbol=3:eth:source=order_book"])
        # The contiguous eth book refuses a gap after its snapshot.
        ext.update_order_book(OrderBookEvent.snapshot("eth", 1, 5, [("1", "4")], []))
        with pytest.raises(ValueError) as error:
            ext.update_order_book(OrderBookEvent.delta("eth", 2, 7, [("bid", "1", "1")]))
        assert str(error.value) == "order-book update failed: expected update ID 6, received 7"


def test_book_feature_without_a_book_fails_at_build():
    spec = FeatureExtractorSpec().order_book_spread("sol")
    with pytest.raises(ValueError) as error:
        FeatureExtractor(spec)
    assert str(error.value) == "no order book is configured for symbol sol"
