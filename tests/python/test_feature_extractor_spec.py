"""FeatureExtractorSpec builder and WarmupPolicy: IDs per method, argument
rules and their messages, capacity, all-or-nothing calls, JSON round trip."""

import pytest

from zelk import FeatureExtractor, FeatureExtractorSpec, WarmupPolicy

FIRST, FULL = WarmupPolicy.FIRST_VALUE, WarmupPolicy.FULL_WINDOW
NS = 1_000_000  # nanoseconds per millisecond
BTC = "symbol=3:btc"
GLOBAL = "symbol=10:__global__"


def timed(kind, source, aggregation_ms, window_ms, warmup="full_window"):
    return (
        f"{kind}:{BTC}:source={source}:aggregation_ns={aggregation_ms * NS}"
        f":window_ns={window_ms * NS}:warmup={warmup}"
    )


# --- WarmupPolicy -----------------------------------------------------------


def test_warmup_policy():
    assert WarmupPolicy.__doc__ == "Window-indicator warm-up behavior."
    assert repr(FIRST) == "WarmupPolicy.FIRST_VALUE"
    assert repr(FULL) == "WarmupPolicy.FULL_WINDOW"
    assert (int(FIRST), int(FULL)) == (0, 1)
    assert FIRST == WarmupPolicy.FIRST_VALUE and FULL == WarmupPolicy.FULL_WINDOW
    assert FIRST != FULL
    assert (FIRST == FULL) is False
    assert len({FIRST, WarmupPolicy.FIRST_VALUE, FULL}) == 2
    # Policies compare equal only to policies.
    assert FIRST != 0 and FULL != "full_window"
    with pytest.raises(TypeError):
        WarmupPolicy()


# --- Empty spec and read access ---------------------------------------------


def test_empty_spec():
    spec = FeatureExtractorSpec()
    assert spec.capacity == 0
    assert spec.active_feature_count == 0
    assert spec.checksum is None
    assert spec.feature_ids() == []
    assert spec.indicator_count() == 0
    assert spec.output_count() == 0
    explicit = FeatureExtractorSpec(capacity=3, checksum="abc")
    assert (explicit.capacity, explicit.checksum) == (3, "abc")


def test_constructor_arguments_are_keyword_only():
    with pytest.raises(TypeError):
        FeatureExtractorSpec(3)
    with pytest.raises(TypeError):
        FeatureExtractorSpec(capacity=-1)
    with pytest.raises(TypeError):
        FeatureExtractorSpec(checksum=5)


# --- IDs added by each builder method ---------------------------------------


@pytest.mark.parametrize(
    "build, ids",
    [
        (lambda s: s.field("BTC"), [f"field:{BTC}:source=field.price"]),
        (
            lambda s: s.field("btc", source="trade_volume"),
            [f"field:{BTC}:source=field.trade_volume"],
        ),
        (lambda s: s.field("btc", id="px"), ["px"]),
        (
            lambda s: s.context("__global__", "rate"),
            [f"context:{GLOBAL}:source=context:name=4:rate"],
        ),
        (lambda s: s.context("btc", "funding", id="f"), ["f"]),
        (
            lambda s: s.cvd("btc", [5, 2]),
            [
                f"cvd:{BTC}:source=event.trade:window=5:warmup=full_window",
                f"cvd:{BTC}:source=event.trade:window=2:warmup=full_window",
            ],
        ),
        (
            lambda s: s.cvd("btc", [3], warmup=FIRST),
            [f"cvd:{BTC}:source=event.trade:window=3:warmup=first_value"],
        ),
        (
            lambda s: s.simple_returns("btc", [2, 1]),
            [
                f"simple_return:{BTC}:source=field.price:lag=2",
                f"simple_return:{BTC}:source=field.price:lag=1",
            ],
        ),
        (
            lambda s: s.log_returns("btc", [4], source="trade_price"),
            [f"log_return:{BTC}:source=field.trade_price:lag=4"],
        ),
        (
            lambda s: s.volatility("btc", [3], source="volume", warmup=FIRST),
            [f"volatility:{BTC}:source=field.volume:window=3:warmup=first_value"],
        ),
        (
            lambda s: s.sma_timed("btc", "1s", ["5s", "2s"]),
            [
                timed("sma_timed", "field.price", 1000, 5000),
                timed("sma_timed", "field.price", 1000, 2000),
            ],
        ),
        (
            lambda s: s.volatility_timed("btc", "500ms", ["1m"], source="trade_price"),
            [timed("volatility_timed", "field.trade_price", 500, 60_000)],
        ),
        (
            lambda s: s.obv_timed("btc", "1m", ["1h"], warmup=FIRST),
            [timed("obv_timed", "event.trade", 60_000, 3_600_000, "first_value")],
        ),
        (
            lambda s: s.trade_volume_timed("btc", "1s", ["3s"]),
            [timed("trade_volume_timed", "event.trade", 1000, 3000)],
        ),
        (
            lambda s: s.vwap_timed("btc", "1s", ["4s"]),
            [timed("vwap_timed", "event.trade", 1000, 4000)],
        ),
        (lambda s: s.vpt("btc"), [f"vpt:{BTC}:source=event.trade"]),
        (
            lambda s: s.trade_count_timed("btc", "1s", "3s"),
            [timed("trade_count_timed", "event.trade", 1000, 3000)],
        ),
        (lambda s: s.day_of_week(), [f"day_of_week:{GLOBAL}:source=any_event"]),
        (
            lambda s: s.time_since_first_event_of_day(),
            [f"time_since_first_event_of_day:{GLOBAL}:source=any_event:utc_offset_ms=0"],
        ),
    ],
)
def test_builder_method_ids(build, ids):
    spec = FeatureExtractorSpec()
    assert build(spec) is spec  # calls chain on the same object
    assert spec.feature_ids() == ids
    assert spec.output_count() == len(ids)
    assert spec.capacity == len(ids)


@pytest.mark.parametrize(
    "text, millis",
    [
        ("1s", 1000),
        ("  2s\t", 2000),  # trimmed
        ("0500ms", 500),  # leading zeros
        ("5m", 300_000),
        ("1h", 3_600_000),
        ("0ms", 0),  # accepted here; the compiler refuses a zero aggregation
        ("5124095576030h", 5124095576030 * 3_600_000),  # largest whole hours in 64 bits
    ],
)
def test_duration_strings_accepted(text, millis):
    spec = FeatureExtractorSpec().trade_volume_timed("btc", text, ["1s"])
    assert f":aggregation_ns={millis * NS}:" in spec.feature_ids()[0]


def duration_error(field, text):
    return (
        f'invalid `{field}` duration "{text}"; use an integer with a unit: '
        '"500ms", "1s", "5m", "1h"'
    )


@pytest.mark.parametrize(
    "text, shown",
    [
        ("1 s", "1 s"),
        ("1S", "1S"),
        (" 1H ", "1H"),  # the message quotes the trimmed text
        ("", ""),
        ("s", "s"),
        ("1.5s", "1.5s"),
        ("-1s", "-1s"),
        ("+1s", "+1s"),
        ("1", "1"),
        ("1sec", "1sec"),
        ("18446744073709551616ms", "18446744073709551616ms"),  # 2**64
        ("5124095576031h", "5124095576031h"),  # hours overflow the millisecond range
        ('1"s', '1\\"s'),  # quoted with escapes
    ],
)
def test_duration_strings_refused(text, shown):
    with pytest.raises(ValueError) as error:
        FeatureExtractorSpec().sma_timed("btc", text, ["1s"])
    assert str(error.value) == duration_error("aggregation", shown)


def test_duration_field_names():
    spec = FeatureExtractorSpec()
    with pytest.raises(ValueError) as error:
        spec.vwap_timed("btc", "1s", ["2s", "2x"])
    assert str(error.value) == duration_error("windows", "2x")
    with pytest.raises(ValueError) as error:
        spec.trade_count_timed("btc", "1s", "3 s")
    assert str(error.value) == duration_error("window", "3 s")
    with pytest.raises(ValueError) as error:
        spec.trade_count_timed("btc", "x", "y")
    assert str(error.value) == duration_error("aggregation", "x")


@pytest.mark.parametrize(
    "tz, offset",
    [
        ("UTC", 0),
        ("", 0),
        ("UTC+3", 10_800_000),
        ("-05:30", -19_800_000),
        ("+14", 50_400_000),
        ("UTC-14:00", -50_400_000),
        (" UTC+03:15 ", 11_700_000),
        ("+0", 0),
    ],
)
def test_time_zones_accepted(tz, offset):
    spec = FeatureExtractorSpec().time_since_first_event_of_day(tz=tz)
    assert spec.feature_ids()[0].endswith(f":utc_offset_ms={offset}")


@pytest.mark.parametrize(
    "tz", ["UTC+14:30", "+15", "+3:60", "Europe/Paris", "+", "UTC+3:", "3", "utc+3", " x "]
)
def test_time_zones_refused(tz):
    with pytest.raises(ValueError) as error:
        FeatureExtractorSpec().time_since_first_event_of_day(tz)
    assert str(error.value) == (
        f'invalid `tz` "{tz}"; use "UTC" or a fixed offset like "UTC+3" or "-05:30" '
        "(named zones are not supported: the core has no timezone database)"
    )


SOURCE_ERROR = 'invalid `source` "{}"; expected "price", "volume", "trade_price", or "trade_volume"'


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda s: s.field("btc", source="Price"), SOURCE_ERROR.format("Price")),
        (lambda s: s.field("btc", source=" price"), SOURCE_ERROR.format(" price")),
        (lambda s: s.volatility("btc", [2], source="close"), SOURCE_ERROR.format("close")),
        (lambda s: s.log_returns("btc", [1], source=""), SOURCE_ERROR.format("")),
        (lambda s: s.sma_timed("btc", "1s", ["1s"], source="bid"), SOURCE_ERROR.format("bid")),
        # Lag rules, in order: empty, zero, too large.
        (lambda s: s.simple_returns("btc", []), "lags must not be empty"),
        (lambda s: s.simple_returns("btc", [3, 0]), "lags must be positive"),
        (lambda s: s.log_returns("btc", [2**64 - 1]), "lags are too large"),
        (lambda s: s.log_returns("btc", [2**64 - 1, 0]), "lags must be positive"),
        # Lags are checked before the source.
        (lambda s: s.simple_returns("btc", [], source="bad"), "lags must not be empty"),
        # Empty windows come before every other check.
        (lambda s: s.cvd("btc", []), "windows must not be empty"),
        (lambda s: s.volatility("btc", [], source="bad"), "windows must not be empty"),
        (lambda s: s.sma_timed("btc", "bad", []), "windows must not be empty"),
        (lambda s: s.volatility_timed("btc", "1s", []), "windows must not be empty"),
        (lambda s: s.obv_timed("btc", "1s", []), "windows must not be empty"),
        (lambda s: s.trade_volume_timed("btc", "1s", []), "windows must not be empty"),
        (lambda s: s.vwap_timed("btc", "1s", []), "windows must not be empty"),
        # The source is parsed before the aggregation.
        (
            lambda s: s.sma_timed("btc", "bad", ["1s"], source="bad"),
            SOURCE_ERROR.format("bad"),
        ),
    ],
)
def test_argument_errors(call, message):
    spec = FeatureExtractorSpec().field("btc")
    with pytest.raises(ValueError) as error:
        call(spec)
    assert str(error.value) == message
    # All or nothing: the spec is unchanged.
    assert spec.feature_ids() == [f"field:{BTC}:source=field.price"]
    assert spec.capacity == 1


@pytest.mark.parametrize(
    "call",
    [
        lambda s: s.cvd("btc", [-1]),
        lambda s: s.cvd("btc", 5),
        lambda s: s.simple_returns("btc", [1.5]),
        lambda s: s.sma_timed("btc", 1, ["1s"]),
        lambda s: s.sma_timed("btc", "1s", "1s"),
        lambda s: s.field(3),
        lambda s: s.field("btc", "price"),  # source is keyword-only
        lambda s: s.cvd("btc", [1], WarmupPolicy.FIRST_VALUE),  # warmup is keyword-only
        lambda s: s.cvd("btc", [1], warmup=0),
        lambda s: s.context("btc", "x", idd="y"),
    ],
)
def test_wrong_argument_types_are_type_errors(call):
    with pytest.raises(TypeError):
        call(FeatureExtractorSpec())


def test_reserved_id_reports_position_in_the_new_list():
    spec = FeatureExtractorSpec().field("btc").vpt("btc")
    with pytest.raises(ValueError) as error:
        spec.context("__global__", "x", id="__reserved_7")
    assert str(error.value) == (
        "invalid argument: feature definition at index 2 uses the reserved namespace for "
        "feature IDs"
    )
    assert spec.output_count() == 2


def test_capacity_follows_definitions_until_given():
    spec = FeatureExtractorSpec().field("btc").volatility("btc", [2, 3])
    assert spec.capacity == spec.active_feature_count == 3

    fixed = FeatureExtractorSpec(capacity=4).volatility("btc", [2, 3, 4]).vpt("btc")
    assert (fixed.capacity, fixed.active_feature_count) == (4, 4)
    with pytest.raises(ValueError) as error:
        fixed.field("btc")
    assert str(error.value) == (
        "invalid argument: feature vector capacity 4 is smaller than active length 5"
    )
    assert fixed.active_feature_count == 4
    # Several definitions of one call are refused together.
    with pytest.raises(ValueError):
        FeatureExtractorSpec(capacity=2).cvd("btc", [1, 2, 3])


def test_canonical_order_and_indicator_count():
    spec = FeatureExtractorSpec().volatility("btc", [20, 5, 10])
    windows = [int(i.split(":window=")[1].split(":")[0]) for i in spec.feature_ids()]
    assert windows == [20, 5, 10]
    assert spec.indicator_count() == 1
    spec.volatility("btc", [30])
    assert spec.indicator_count() == 1
    assert spec.output_count() == 4
    # Global definitions first, symbols by name, kinds by rank.
    spec = FeatureExtractorSpec().volatility("eth", [2]).field("btc").cvd("btc", [2]).day_of_week()
    assert [i.split(":")[0] for i in spec.feature_ids()] == [
        "day_of_week",
        "cvd",
        "field",
        "volatility",
    ]
    assert spec.indicator_count() == 4


def test_compiler_checks_run_at_build_not_in_the_builder():
    spec = FeatureExtractorSpec().sma_timed("btc", "1s", ["1500ms"])
    with pytest.raises(ValueError) as error:
        FeatureExtractor(spec)
    assert str(error.value) == (
        "invalid indicator definition at index 0: timed SMA: window must be an exact "
        "multiple of aggregation 1000ms, got 1500ms"
    )


def test_builder_docstrings():
    docs = {
        "context": 'Register a named, precomputed value. Use "__global__" for shared context.',
        "field": "Copy the latest matching scalar event field.",
        "cvd": "Grouped cumulative-volume-delta windows over classified trades.",
        "simple_returns": "Simple percentage returns over ordered sample lags.",
        "log_returns": "Logarithmic returns over ordered sample lags.",
        "volatility": "Grouped population volatility of simple returns over sample windows.",
        "sma_timed": "Grouped time-bucketed moving averages over ordered duration windows.",
        "volatility_timed": "Grouped population volatility of simple returns over timed windows.",
        "obv_timed": "Grouped time-bucketed on-balance-volume windows.",
        "trade_volume_timed": "Grouped rolling trade-volume sums over timed windows.",
        "vwap_timed": "Grouped volume-weighted average trade prices over timed windows.",
        "vpt": "Cumulative volume-price trend over trades for one symbol.",
        "trade_count_timed": "Rolling count of `symbol` trades over a `window`, bucketed by\n"
        "`aggregation` (duration strings).",
        "day_of_week": "Day-of-week clock feature (`0 = Sunday ..= 6 = Saturday`). Refreshes\n"
        "at or beyond the maximum accepted timestamp, retaining its value on older rows.",
        "time_since_first_event_of_day": "Milliseconds since the first observed event after a "
        "local day boundary.",
        "feature_ids": "Active stable feature IDs in canonical raw-vector order.",
        "from_json": "Loads the strict versioned JSON parity artifact.",
    }
    for name, summary in docs.items():
        signature, _, text = getattr(FeatureExtractorSpec, name).__doc__.partition("\n\n")
        assert signature.startswith(f"{name}("), name
        assert text == summary, name
    signature = FeatureExtractorSpec.cvd.__doc__.split("\n")[0]
    assert signature.startswith("cvd(self, symbol: str, windows: ")
    assert "*, warmup: " in signature
    signature = FeatureExtractorSpec.time_since_first_event_of_day.__doc__.split("\n")[0]
    assert signature.startswith("time_since_first_event_of_day(self, tz: str = 'UTC')")


# --- JSON -------------------------------------------------------------------


def test_json_round_trip_makes_the_capacity_explicit():
    spec = (
        FeatureExtractorSpec(checksum="model-7")
        .field("btc")
        .volatility("btc", [3, 2], warmup=FIRST)
        .trade_count_timed("eth", "1s", "5s")
        .context("__global__", "rate")
    )
    text = spec.to_json()
    assert isinstance(text, str) and '"version": "2.0"' in text
    loaded = FeatureExtractorSpec.from_json(text)
    assert loaded.feature_ids() == spec.feature_ids()
    assert (loaded.capacity, loaded.checksum) == (spec.capacity, "model-7")
    assert loaded.to_json() == text
    # The loaded capacity is explicit: one more definition no longer fits.
    with pytest.raises(ValueError) as error:
        loaded.vpt("btc")
    assert "feature vector capacity 5 is smaller than active length 6" in str(error.value)
    # Without a checksum the property is None.
    assert FeatureExtractorSpec.from_json(FeatureExtractorSpec().to_json()).checksum is None


def test_json_errors_are_value_errors():
    with pytest.raises(ValueError) as error:
        FeatureExtractorSpec.from_json("{")
    assert "line 1" in str(error.value)
    with pytest.raises(ValueError):
        FeatureExtractorSpec.from_json('{"version": "1.0"}')


def test_builders_do_not_affect_built_extractors():
    spec = FeatureExtractorSpec().field("btc")
    ext = FeatureExtractor(spec)
    spec.vpt("btc")
    assert ext.n_features() == 1
    assert FeatureExtractor(spec).n_features() == 2
