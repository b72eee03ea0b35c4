// Python bindings of FeatureExtractorSpec and WarmupPolicy.
//
// Every builder method checks its own arguments in a fixed order, builds the
// new definitions, and only then rebuilds the core spec; the object changes
// only when everything succeeded. Checks that need the whole group structure
// (window multiples, sources, duplicates) are the compiler's and run when an
// extractor is built or the spec is saved.
#include "zelk-python/feature_extractor_spec.hpp"

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <fmt/format.h>
#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/string_view.h>
#include <nanobind/stl/vector.h>

#include "zelk-python/arguments.hpp"
#include "zelk-python/module.hpp"
#include "zelk/features/artifacts/feature_extractor_spec.hpp"
#include "zelk/features/artifacts/serialization.hpp"
#include "zelk/features/feature_id.hpp"
#include "zelk/features/feature_key.hpp"

namespace zelk::python {

namespace nb = nanobind;
using namespace nb::literals;

void SpecBuilder::add_definitions(std::vector<FeatureDefinition> added) {
    std::vector<FeatureDefinition> definitions = spec_.definitions();
    definitions.reserve(definitions.size() + added.size());
    for (auto& definition : added) definitions.push_back(std::move(definition));
    const size_t capacity = capacity_explicit_ ? spec_.capacity() : definitions.size();
    auto rebuilt = unwrap(FeatureExtractorSpec::with_metadata(std::move(definitions), capacity,
                                                              spec_.checksum()));
    spec_ = unwrap(std::move(rebuilt).with_order_books(spec_.order_books()));
}

void SpecBuilder::add_order_book(OrderBookEntry entry) {
    std::vector<OrderBookEntry> books = spec_.order_books();
    books.push_back(std::move(entry));
    spec_ = unwrap(spec_.with_order_books(std::move(books)));
}

namespace {

// ---------------------------------------------------------------------------
// Argument parsing

// The four scalar fields by their exact (case-sensitive) names.
ScalarField parse_source(std::string_view text) {
    if (text == "price") return ScalarField::Price;
    if (text == "volume") return ScalarField::Volume;
    if (text == "trade_price") return ScalarField::TradePrice;
    if (text == "trade_volume") return ScalarField::TradeVolume;
    raise_value_error(fmt::format(
        "invalid `source` {}; expected \"price\", \"volume\", \"trade_price\", or \"trade_volume\"",
        quoted(text)));
}

constexpr bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string_view trim(std::string_view text) {
    while (!text.empty() && is_space(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_space(text.back())) text.remove_suffix(1);
    return text;
}

// "{digits}{unit}" after trimming, unit ms, s, m or h; leading zeros and
// zero are accepted (the compiler refuses a zero aggregation).
Duration parse_duration_argument(std::string_view text, std::string_view field) {
    const std::string_view trimmed = trim(text);
    const auto refuse = [&]() -> Duration {
        raise_value_error(fmt::format(
            "invalid `{}` duration {}; use an integer with a unit: \"500ms\", \"1s\", \"5m\", "
            "\"1h\"",
            field, quoted(trimmed)));
    };
    size_t digits = 0;
    uint64_t value = 0;
    while (digits < trimmed.size() && trimmed[digits] >= '0' && trimmed[digits] <= '9') {
        const auto digit = static_cast<uint64_t>(trimmed[digits] - '0');
        if (value > (std::numeric_limits<uint64_t>::max() - digit) / 10) return refuse();
        value = value * 10 + digit;
        ++digits;
    }
    if (digits == 0) return refuse();
    const std::string_view unit = trimmed.substr(digits);
    uint64_t millis_per_unit = 0;
    if (unit == "ms") {
        millis_per_unit = 1;
    } else if (unit == "s") {
        millis_per_unit = 1'000;
    } else if (unit == "m") {
        millis_per_unit = 60'000;
    } else if (unit == "h") {
        millis_per_unit = 3'600'000;
    } else {
        return refuse();
    }
    if (value > std::numeric_limits<uint64_t>::max() / millis_per_unit) return refuse();
    return Duration::from_millis(value * millis_per_unit);
}

std::vector<Duration> parse_windows(const std::vector<std::string>& windows) {
    std::vector<Duration> parsed;
    parsed.reserve(windows.size());
    for (const auto& window : windows) parsed.push_back(parse_duration_argument(window, "windows"));
    return parsed;
}

// "UTC", "" or an optional "UTC" prefix with a fixed offset ("+3", "-05:30").
int64_t parse_tz(std::string_view tz) {
    auto offset = parse_utc_offset(trim(tz));
    if (!offset) {
        raise_value_error(fmt::format(
            "invalid `tz` {}; use \"UTC\" or a fixed offset like \"UTC+3\" or \"-05:30\" (named "
            "zones are not supported: the core has no timezone database)",
            quoted(tz)));
    }
    return *offset;
}

void require_windows(size_t count) {
    if (count == 0) raise_value_error("windows must not be empty");
}

void require_lags(const std::vector<size_t>& lags) {
    if (lags.empty()) raise_value_error("lags must not be empty");
    for (size_t lag : lags) {
        if (lag == 0) raise_value_error("lags must be positive");
    }
    for (size_t lag : lags) {
        if (lag == std::numeric_limits<size_t>::max()) raise_value_error("lags are too large");
    }
}

UpdatePolicy parse_update_policy_argument(std::string_view text) {
    if (auto policy = parse_update_policy(text)) return *policy;
    raise_value_error("update_policy must be monotonic or contiguous");
}

FeatureDefinition with_id(FeatureKey key, const std::optional<std::string>& id) {
    if (id) return FeatureDefinition{*id, std::move(key)};
    return FeatureDefinition::with_default_id(std::move(key));
}

// ---------------------------------------------------------------------------
// Builder methods. Each returns the same object.

using Self = SpecBuilder&;

void add_one(Self self, FeatureKey key) {
    std::vector<FeatureDefinition> added;
    added.push_back(FeatureDefinition::with_default_id(std::move(key)));
    self.add_definitions(std::move(added));
}

template <typename MakeKey>
void add_each(Self self, size_t count, MakeKey&& make_key) {
    std::vector<FeatureDefinition> added;
    added.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        added.push_back(FeatureDefinition::with_default_id(make_key(i)));
    }
    self.add_definitions(std::move(added));
}

Self context(Self self, std::string_view symbol, std::string name,
             const std::optional<std::string>& id) {
    const Symbol interned = intern_symbol(symbol);
    std::vector<FeatureDefinition> added;
    added.push_back(with_id(FeatureKey::context(interned, std::move(name)), id));
    self.add_definitions(std::move(added));
    return self;
}

Self field(Self self, std::string_view symbol, std::string_view source,
           const std::optional<std::string>& id) {
    const Symbol interned = intern_symbol(symbol);
    const ScalarField parsed = parse_source(source);
    std::vector<FeatureDefinition> added;
    added.push_back(with_id(FeatureKey::field_of(interned, parsed), id));
    self.add_definitions(std::move(added));
    return self;
}

Self cvd(Self self, std::string_view symbol, const std::vector<uint64_t>& windows,
         const WarmupPolicyArgument& warmup) {
    require_windows(windows.size());
    const Symbol interned = intern_symbol(symbol);
    add_each(self, windows.size(), [&](size_t i) {
        return FeatureKey::cvd(interned, FeatureSource::of_event(EventKind::Trade), windows[i],
                               warmup.value);
    });
    return self;
}

Self returns(Self self, std::string_view symbol, const std::vector<size_t>& lags,
             std::string_view source, bool log) {
    require_lags(lags);
    const Symbol interned = intern_symbol(symbol);
    const ScalarField parsed = parse_source(source);
    add_each(self, lags.size(), [&](size_t i) {
        return FeatureKey::returns(interned, FeatureSource::of_field(parsed), lags[i], log);
    });
    return self;
}

Self volatility(Self self, std::string_view symbol, const std::vector<uint64_t>& windows,
                std::string_view source, const WarmupPolicyArgument& warmup) {
    require_windows(windows.size());
    const Symbol interned = intern_symbol(symbol);
    const ScalarField parsed = parse_source(source);
    add_each(self, windows.size(), [&](size_t i) {
        return FeatureKey::volatility(interned, FeatureSource::of_field(parsed), windows[i],
                                      warmup.value);
    });
    return self;
}

// The timed kinds over a scalar field: SmaTimed and VolatilityTimed.
template <FeatureKind Kind>
Self timed_field(Self self, std::string_view symbol, std::string_view aggregation,
                 const std::vector<std::string>& windows, std::string_view source,
                 const WarmupPolicyArgument& warmup) {
    require_windows(windows.size());
    const Symbol interned = intern_symbol(symbol);
    const ScalarField parsed_source = parse_source(source);
    const Duration parsed_aggregation = parse_duration_argument(aggregation, "aggregation");
    const std::vector<Duration> parsed_windows = parse_windows(windows);
    add_each(self, parsed_windows.size(), [&](size_t i) {
        return FeatureKey::timed(Kind, interned, FeatureSource::of_field(parsed_source),
                                 parsed_aggregation, parsed_windows[i], warmup.value);
    });
    return self;
}

// The timed kinds over classified trades: ObvTimed, TradeVolumeTimed, VwapTimed.
template <FeatureKind Kind>
Self timed_trade(Self self, std::string_view symbol, std::string_view aggregation,
                 const std::vector<std::string>& windows, const WarmupPolicyArgument& warmup) {
    require_windows(windows.size());
    const Symbol interned = intern_symbol(symbol);
    const Duration parsed_aggregation = parse_duration_argument(aggregation, "aggregation");
    const std::vector<Duration> parsed_windows = parse_windows(windows);
    add_each(self, parsed_windows.size(), [&](size_t i) {
        return FeatureKey::timed(Kind, interned, FeatureSource::of_event(EventKind::Trade),
                                 parsed_aggregation, parsed_windows[i], warmup.value);
    });
    return self;
}

Self vpt(Self self, std::string_view symbol) {
    const Symbol interned = intern_symbol(symbol);
    add_one(self, FeatureKey::vpt(interned, FeatureSource::of_event(EventKind::Trade)));
    return self;
}

Self trade_count_timed(Self self, std::string_view symbol, std::string_view aggregation,
                       std::string_view window, const WarmupPolicyArgument& warmup) {
    const Symbol interned = intern_symbol(symbol);
    const Duration parsed_aggregation = parse_duration_argument(aggregation, "aggregation");
    const Duration parsed_window = parse_duration_argument(window, "window");
    add_one(self, FeatureKey::timed(FeatureKind::TradeCountTimed, interned,
                                    FeatureSource::of_event(EventKind::Trade), parsed_aggregation,
                                    parsed_window, warmup.value));
    return self;
}

Self day_of_week(Self self) {
    add_one(self, FeatureKey::day_of_week(Symbol::global(), FeatureSource::any_event()));
    return self;
}

Self time_since_first_event_of_day(Self self, std::string_view tz) {
    const int64_t offset = parse_tz(tz);
    add_one(self, FeatureKey::time_since_first_event_of_day(Symbol::global(),
                                                            FeatureSource::any_event(), offset));
    return self;
}

// Order books ---------------------------------------------------------------

Self configure_order_book(Self self, std::string_view symbol, std::string_view update_policy,
                          size_t buffer_size) {
    const UpdatePolicy policy = parse_update_policy_argument(update_policy);
    const Symbol interned = intern_symbol(symbol);
    self.add_order_book(
        OrderBookEntry{interned, OrderBookConfig{buffer_size, std::nullopt, policy}});
    return self;
}

template <FeatureKind Kind>
Self book_scalar(Self self, std::string_view symbol) {
    add_one(self, FeatureKey::book_scalar(Kind, intern_symbol(symbol)));
    return self;
}

Self book_imbalance(Self self, std::string_view symbol, const std::vector<uint64_t>& n_levels) {
    const bool valid = !n_levels.empty() && n_levels.size() <= 16 &&
                       std::ranges::none_of(n_levels, [](uint64_t n) { return n == 0; });
    if (!valid) raise_value_error("imbalance requires one to sixteen positive depths");
    const Symbol interned = intern_symbol(symbol);
    add_each(self, n_levels.size(),
             [&](size_t i) { return FeatureKey::book_imbalance(interned, n_levels[i]); });
    return self;
}

// OrderBookLevelSize and OrderBookDepthUntilPrice.
template <FeatureKind Kind>
Self book_price_query(Self self, std::string_view symbol, std::string_view side,
                      std::string_view price) {
    const ExactDecimal parsed_price = parse_book_value(price);
    const Symbol interned = intern_symbol(symbol);
    const Side parsed_side = parse_book_side_argument(side);
    add_one(self, FeatureKey::book_price_query(Kind, interned, parsed_side, parsed_price));
    return self;
}

// OrderBookNthPrice and OrderBookNthSize.
template <FeatureKind Kind>
Self book_nth(Self self, std::string_view symbol, std::string_view side, uint64_t n_levels) {
    if (n_levels == 0) raise_value_error("n_levels must be positive");
    const Symbol interned = intern_symbol(symbol);
    const Side parsed_side = parse_book_side_argument(side);
    add_one(self, FeatureKey::book_nth(Kind, interned, parsed_side, n_levels));
    return self;
}

// The three OrderBookDepthUntilSize kinds.
template <FeatureKind Kind>
Self book_size_query(Self self, std::string_view symbol, std::string_view side,
                     std::string_view size) {
    const ExactDecimal parsed_size = parse_book_value(size);
    if (parsed_size.is_zero()) raise_value_error("target size must be positive");
    const Symbol interned = intern_symbol(symbol);
    const Side parsed_side = parse_book_side_argument(side);
    add_one(self, FeatureKey::book_size_query(Kind, interned, parsed_side, parsed_size));
    return self;
}

Self book_volume_between(Self self, std::string_view symbol, std::string_view side,
                         std::string_view from_price, std::string_view to_price) {
    const ExactDecimal from = parse_book_value(from_price);
    const ExactDecimal to = parse_book_value(to_price);
    if (!(from < to)) raise_value_error("from_price must be less than to_price");
    const Symbol interned = intern_symbol(symbol);
    const Side parsed_side = parse_book_side_argument(side);
    add_one(self, FeatureKey::book_volume_between(interned, parsed_side, from, to));
    return self;
}

// Construction, JSON and read access ----------------------------------------

void construct(SpecBuilder* self, std::optional<size_t> capacity,
               std::optional<std::string> checksum) {
    new (self) SpecBuilder(FeatureExtractorSpec::empty(capacity.value_or(0), std::move(checksum)),
                           capacity.has_value());
}

SpecBuilder spec_from_json(std::string_view json) {
    auto spec = from_json(json);
    if (!spec) raise_value_error(spec.error().message);
    return SpecBuilder(std::move(*spec), true);
}

std::string spec_to_json(const SpecBuilder& self) {
    auto text = to_json(self.spec());
    if (!text) raise_value_error(text.error().message);
    return std::move(*text);
}

std::vector<std::string> feature_ids(const SpecBuilder& self) { return self.spec().feature_ids(); }

// WarmupPolicy --------------------------------------------------------------

std::string_view python_name(WarmupPolicy policy) {
    return policy == WarmupPolicy::FirstValue ? "FIRST_VALUE" : "FULL_WINDOW";
}

constexpr const char* SCALAR_BOOK_DOC = "Adds the {} scalar output for a configured book.";
constexpr const char* QUERY_DOC =
    "Adds an exact book query; side is bid or ask and prices/sizes are strings.";

}  // namespace

void add_warmup_policy(nb::module_& m) {
    // A plain class rather than an enum: its repr is "WarmupPolicy.FULL_WINDOW"
    // and its members compare equal only to policies of the same value.
    using Policy = WarmupPolicyArgument;
    nb::class_<Policy> cls(m, "WarmupPolicy", "Window-indicator warm-up behavior.");
    cls.def("__repr__",
            [](Policy policy) { return fmt::format("WarmupPolicy.{}", python_name(policy.value)); })
        .def("__int__", [](Policy policy) { return static_cast<int>(policy.value); })
        .def("__index__", [](Policy policy) { return static_cast<int>(policy.value); })
        .def("__hash__", [](Policy policy) { return static_cast<int>(policy.value); })
        .def(
            "__eq__", [](Policy a, Policy b) { return a.value == b.value; }, nb::is_operator())
        .def(
            "__ne__", [](Policy a, Policy b) { return a.value != b.value; }, nb::is_operator());
    // Class-level properties rather than stored instances: an instance kept
    // in its own type's dictionary would be a reference cycle through the type.
    cls.def_prop_ro_static(
           "FIRST_VALUE", [](nb::handle) { return Policy{WarmupPolicy::FirstValue}; },
           "Report as soon as the window holds any usable observation.")
        .def_prop_ro_static(
            "FULL_WINDOW", [](nb::handle) { return Policy{WarmupPolicy::FullWindow}; },
            "Hold the cell at NaN until the window has seen its full length.");
}

void add_feature_extractor_spec(nb::module_& m) {
    constexpr auto reference = nb::rv_policy::reference;
    const auto warmup = [] {
        return nb::arg("warmup") = WarmupPolicyArgument{WarmupPolicy::FullWindow};
    };

    nb::class_<SpecBuilder> cls(
        m, "FeatureExtractorSpec",
        "Declarative feature-vector spec: the ordered list of features an extractor produces,\n"
        "and the parity contract between Python batch replay and live stepping.\n"
        "\n"
        "Author it with the fluent builder methods, then pass it to FeatureExtractor.");
    cls.def("__init__", &construct, nb::kw_only(), "capacity"_a = nb::none(),
            "checksum"_a = nb::none())
        .def_static("from_json", &spec_from_json, "json"_a,
                    "Loads the strict versioned JSON parity artifact.")
        .def("to_json", &spec_to_json, "Serialises the spec with the canonical JSON writer.")
        .def(
            "indicator_count",
            [](const SpecBuilder& self) { return self.spec().indicator_count(); },
            "Number of grouped builder calls; compatible calls may share one runtime derivation "
            "after compilation.")
        .def(
            "output_count",
            [](const SpecBuilder& self) { return self.spec().active_feature_count(); },
            "Number of output cells produced after compilation.")
        .def("feature_ids", &feature_ids,
             "Active stable feature IDs in canonical raw-vector order.")
        .def_prop_ro(
            "capacity", [](const SpecBuilder& self) { return self.spec().capacity(); },
            "Complete configured width, including trailing reserved cells.")
        .def_prop_ro(
            "active_feature_count",
            [](const SpecBuilder& self) { return self.spec().active_feature_count(); },
            "Number of configured outputs, excluding reserved cells.")
        .def_prop_ro(
            "checksum", [](const SpecBuilder& self) { return self.spec().checksum(); },
            "Opaque checksum carried by the artifact, or None.")
        // Scalar features
        .def("context", &context, "symbol"_a, "name"_a, nb::kw_only(), "id"_a = nb::none(),
             reference,
             "Register a named, precomputed value. Use \"__global__\" for shared context.")
        .def("field", &field, "symbol"_a, nb::kw_only(), "source"_a = "price", "id"_a = nb::none(),
             reference, "Copy the latest matching scalar event field.")
        .def("cvd", &cvd, "symbol"_a, "windows"_a, nb::kw_only(), warmup(), reference,
             "Grouped cumulative-volume-delta windows over classified trades.")
        .def(
            "simple_returns",
            [](Self self, std::string_view symbol, const std::vector<size_t>& lags,
               std::string_view source) -> Self {
                return returns(self, symbol, lags, source, false);
            },
            "symbol"_a, "lags"_a, nb::kw_only(), "source"_a = "price", reference,
            "Simple percentage returns over ordered sample lags.")
        .def(
            "log_returns",
            [](Self self, std::string_view symbol, const std::vector<size_t>& lags,
               std::string_view source) -> Self {
                return returns(self, symbol, lags, source, true);
            },
            "symbol"_a, "lags"_a, nb::kw_only(), "source"_a = "price", reference,
            "Logarithmic returns over ordered sample lags.")
        .def("volatility", &volatility, "symbol"_a, "windows"_a, nb::kw_only(),
             "source"_a = "price", warmup(), reference,
             "Grouped population volatility of simple returns over sample windows.")
        .def("sma_timed", &timed_field<FeatureKind::SmaTimed>, "symbol"_a, "aggregation"_a,
             "windows"_a, nb::kw_only(), "source"_a = "price", warmup(), reference,
             "Grouped time-bucketed moving averages over ordered duration windows.")
        .def("volatility_timed", &timed_field<FeatureKind::VolatilityTimed>, "symbol"_a,
             "aggregation"_a, "windows"_a, nb::kw_only(), "source"_a = "price", warmup(),
             reference, "Grouped population volatility of simple returns over timed windows.")
        .def("obv_timed", &timed_trade<FeatureKind::ObvTimed>, "symbol"_a, "aggregation"_a,
             "windows"_a, nb::kw_only(), warmup(), reference,
             "Grouped time-bucketed on-balance-volume windows.")
        .def("trade_volume_timed", &timed_trade<FeatureKind::TradeVolumeTimed>, "symbol"_a,
             "aggregation"_a, "windows"_a, nb::kw_only(), warmup(), reference,
             "Grouped rolling trade-volume sums over timed windows.")
        .def("vwap_timed", &timed_trade<FeatureKind::VwapTimed>, "symbol"_a, "aggregation"_a,
             "windows"_a, nb::kw_only(), warmup(), reference,
             "Grouped volume-weighted average trade prices over timed windows.")
        .def("vpt", &vpt, "symbol"_a, reference,
             "Cumulative volume-price trend over trades for one symbol.")
        .def("trade_count_timed", &trade_count_timed, "symbol"_a, "aggregation"_a, "window"_a,
             nb::kw_only(), warmup(), reference,
             "Rolling count of `symbol` trades over a `window`, bucketed by\n"
             "`aggregation` (duration strings).")
        .def("day_of_week", &day_of_week, reference,
             "Day-of-week clock feature (`0 = Sunday ..= 6 = Saturday`). Refreshes\n"
             "at or beyond the maximum accepted timestamp, retaining its value on older rows.")
        .def("time_since_first_event_of_day", &time_since_first_event_of_day, "tz"_a = "UTC",
             reference, "Milliseconds since the first observed event after a local day boundary.")
        // Order books
        .def("configure_order_book", &configure_order_book, "symbol"_a, nb::kw_only(),
             "update_policy"_a, "buffer_size"_a, reference,
             "Configures a fresh book; parameters are preserved in the saved artifact.");

    // The nine scalar book features share one docstring pattern.
    static const std::string scalar_docs[] = {
        fmt::format(SCALAR_BOOK_DOC, "order_book_mid_price"),
        fmt::format(SCALAR_BOOK_DOC, "order_book_spread"),
        fmt::format(SCALAR_BOOK_DOC, "order_book_spread_bps"),
        fmt::format(SCALAR_BOOK_DOC, "order_book_weighted_mid_price"),
        fmt::format(SCALAR_BOOK_DOC, "order_book_microprice"),
        fmt::format(SCALAR_BOOK_DOC, "order_book_best_bid_price"),
        fmt::format(SCALAR_BOOK_DOC, "order_book_best_bid_size"),
        fmt::format(SCALAR_BOOK_DOC, "order_book_best_ask_price"),
        fmt::format(SCALAR_BOOK_DOC, "order_book_best_ask_size"),
    };
    cls.def("order_book_mid_price", &book_scalar<FeatureKind::OrderBookMidPrice>, "symbol"_a,
            reference, scalar_docs[0].c_str())
        .def("order_book_spread", &book_scalar<FeatureKind::OrderBookSpread>, "symbol"_a,
             reference, scalar_docs[1].c_str())
        .def("order_book_spread_bps", &book_scalar<FeatureKind::OrderBookSpreadBps>, "symbol"_a,
             reference, scalar_docs[2].c_str())
        .def("order_book_weighted_mid_price",
             &book_scalar<FeatureKind::OrderBookWeightedMidPrice>, "symbol"_a, reference,
             scalar_docs[3].c_str())
        .def("order_book_microprice", &book_scalar<FeatureKind::OrderBookMicroprice>, "symbol"_a,
             reference, scalar_docs[4].c_str())
        .def("order_book_best_bid_price", &book_scalar<FeatureKind::OrderBookBestBidPrice>,
             "symbol"_a, reference, scalar_docs[5].c_str())
        .def("order_book_best_bid_size", &book_scalar<FeatureKind::OrderBookBestBidSize>,
             "symbol"_a, reference, scalar_docs[6].c_str())
        .def("order_book_best_ask_price", &book_scalar<FeatureKind::OrderBookBestAskPrice>,
             "symbol"_a, reference, scalar_docs[7].c_str())
        .def("order_book_best_ask_size", &book_scalar<FeatureKind::OrderBookBestAskSize>,
             "symbol"_a, reference, scalar_docs[8].c_str())
        .def("order_book_imbalance", &book_imbalance, "symbol"_a, "n_levels"_a, reference,
             "Adds grouped imbalance depths in the supplied order.")
        .def("order_book_level_size", &book_price_query<FeatureKind::OrderBookLevelSize>,
             "symbol"_a, "side"_a, "price"_a, reference, QUERY_DOC)
        .def("order_book_nth_price", &book_nth<FeatureKind::OrderBookNthPrice>, "symbol"_a,
             "side"_a, "n_levels"_a, reference, QUERY_DOC)
        .def("order_book_nth_size", &book_nth<FeatureKind::OrderBookNthSize>, "symbol"_a,
             "side"_a, "n_levels"_a, reference, QUERY_DOC)
        .def("order_book_depth_until_price",
             &book_price_query<FeatureKind::OrderBookDepthUntilPrice>, "symbol"_a, "side"_a,
             "price"_a, reference, QUERY_DOC)
        .def("order_book_depth_until_size_price_from",
             &book_size_query<FeatureKind::OrderBookDepthUntilSizePriceFrom>, "symbol"_a,
             "side"_a, "size"_a, reference, QUERY_DOC)
        .def("order_book_depth_until_size_price_to",
             &book_size_query<FeatureKind::OrderBookDepthUntilSizePriceTo>, "symbol"_a, "side"_a,
             "size"_a, reference, QUERY_DOC)
        .def("order_book_depth_until_size_total_size",
             &book_size_query<FeatureKind::OrderBookDepthUntilSizeTotalSize>, "symbol"_a,
             "side"_a, "size"_a, reference, QUERY_DOC)
        .def("order_book_volume_between_prices", &book_volume_between, "symbol"_a, "side"_a,
             "from_price"_a, "to_price"_a, reference, QUERY_DOC);
}

}  // namespace zelk::python
