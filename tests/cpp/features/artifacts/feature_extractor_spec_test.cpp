#include "zelk/features/artifacts/feature_extractor_spec.hpp"

#include <set>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "zelk/features/artifacts/feature_kind_text.hpp"
#include "zelk/symbols.hpp"

namespace zelk {
namespace {

ExactDecimal dec(std::string_view text) {
    return *ExactDecimal::parse(text);
}
Symbol sym(std::string_view name) {
    return *intern(name);
}

constexpr FeatureSource PRICE = FeatureSource::of_field(ScalarField::Price);
constexpr FeatureSource TRADE = FeatureSource::of_event(EventKind::Trade);
constexpr FeatureSource ANY = FeatureSource::any_event();
constexpr Duration ms(uint64_t n) {
    return Duration::from_millis(n);
}

FeatureExtractorSpec make_spec(std::vector<FeatureDefinition> definitions, size_t capacity,
                               std::optional<std::string> checksum = std::nullopt,
                               std::vector<OrderBookEntry> books = {}) {
    auto spec = FeatureExtractorSpec::with_metadata(std::move(definitions), capacity, checksum);
    EXPECT_TRUE(spec.has_value());
    auto with_books = std::move(*spec).with_order_books(std::move(books));
    EXPECT_TRUE(with_books.has_value()) << to_string(with_books.error());
    return std::move(*with_books);
}

FeatureDefinition def(FeatureKey key) {
    return FeatureDefinition::with_default_id(std::move(key));
}

TEST(JsonFeatureExtractorSpec, WritesTheGroupedDocument) {
    const Symbol btc = sym("btc");
    const Symbol g = Symbol::global();
    std::vector<FeatureDefinition> defs = {
        def(FeatureKey::volatility(btc, PRICE, 20, WarmupPolicy::FirstValue)),
        def(FeatureKey::book_imbalance(btc, 5)),
        def(FeatureKey::context(g, "rate")),
        def(FeatureKey::volatility(btc, PRICE, 5, WarmupPolicy::FirstValue)),
        FeatureDefinition{"btc_price", FeatureKey::field_of(btc, ScalarField::Price)},
        def(FeatureKey::timed(FeatureKind::SmaTimed, btc, PRICE, ms(500), ms(1500),
                              WarmupPolicy::FullWindow)),
        def(FeatureKey::book_scalar(FeatureKind::OrderBookMidPrice, btc)),
        def(FeatureKey::time_since_first_event_of_day(g, ANY, 3 * 3'600'000)),
        def(FeatureKey::book_price_query(FeatureKind::OrderBookLevelSize, btc, Side::Bid,
                                         dec("100.500"))),
        def(FeatureKey::volatility(btc, PRICE, 10, WarmupPolicy::FirstValue)),
        def(FeatureKey::day_of_week(g, ANY)),
        def(FeatureKey::timed(FeatureKind::SmaTimed, btc, PRICE, ms(500), ms(60'000),
                              WarmupPolicy::FullWindow)),
        def(FeatureKey::book_imbalance(btc, 1)),
    };
    OrderBookConfig book{64, DenseBookConfig{dec("0.50"), dec("100"), dec("200.0")},
                         UpdatePolicy::Contiguous};
    const auto spec = make_spec(std::move(defs), 15, "abc", {{btc, book}});
    const auto text = to_json(spec);
    ASSERT_TRUE(text.has_value()) << text.error().message;
    EXPECT_EQ(*text, R"({
  "version": "2.0",
  "capacity": 15,
  "length": 13,
  "required_events": [
    {
      "symbol": "__global__",
      "event": "time"
    },
    {
      "symbol": "btc",
      "event": "order_book_delta"
    },
    {
      "symbol": "btc",
      "event": "order_book_snapshot"
    },
    {
      "symbol": "btc",
      "event": "price"
    }
  ],
  "checksum": "abc",
  "features": [
    {
      "symbol": "__global__",
      "indicators": [
        {
          "kind": "day_of_week",
          "source": {
            "type": "any_event"
          },
          "outputs": [
            {}
          ]
        },
        {
          "kind": "time_since_first_event_of_day",
          "source": {
            "type": "any_event"
          },
          "options": {
            "utc_offset": "+03:00"
          },
          "outputs": [
            {}
          ]
        },
        {
          "kind": "context",
          "source": {
            "type": "context"
          },
          "options": {
            "name": "rate"
          },
          "outputs": [
            {}
          ]
        }
      ]
    },
    {
      "symbol": "btc",
      "indicators": [
        {
          "kind": "field",
          "source": {
            "type": "field",
            "event": "price",
            "field": "value"
          },
          "outputs": [
            {
              "id": "btc_price"
            }
          ]
        },
        {
          "kind": "sma_timed",
          "source": {
            "type": "field",
            "event": "price",
            "field": "value"
          },
          "warmup_policy": "full_window",
          "options": {
            "aggregation": "500ms"
          },
          "outputs": [
            {
              "window": "1500ms"
            },
            {
              "window": "1m"
            }
          ]
        },
        {
          "kind": "order_book_mid_price",
          "source": {
            "type": "order_book"
          },
          "outputs": [
            {}
          ]
        },
        {
          "kind": "order_book_imbalance",
          "source": {
            "type": "order_book"
          },
          "outputs": [
            {
              "n_levels": 5
            },
            {
              "n_levels": 1
            }
          ]
        },
        {
          "kind": "order_book_level_size",
          "source": {
            "type": "order_book"
          },
          "options": {
            "side": "bid",
            "price": "100.5"
          },
          "outputs": [
            {}
          ]
        },
        {
          "kind": "volatility",
          "source": {
            "type": "field",
            "event": "price",
            "field": "value"
          },
          "warmup_policy": "first_value",
          "outputs": [
            {
              "window": 20
            },
            {
              "window": 5
            },
            {
              "window": 10
            }
          ]
        }
      ]
    }
  ],
  "order_books": [
    {
      "symbol": "btc",
      "update_policy": "contiguous",
      "buffer_size": 64,
      "dense": {
        "tick_size": "0.5",
        "min_price": "100",
        "max_price": "200"
      }
    }
  ]
})");
}

// Every key kind, custom IDs, reserved capacity, a checksum that needs
// escaping, and sparse and dense books.
FeatureExtractorSpec every_kind_spec() {
    const Symbol btc = sym("btc");
    const Symbol eth = sym("eth");
    const Symbol g = Symbol::global();
    const auto vol = FeatureSource::of_field(ScalarField::Volume);
    const auto trade_price = FeatureSource::of_field(ScalarField::TradePrice);
    std::vector<FeatureDefinition> defs = {
        def(FeatureKey::context(g, "rate")),
        FeatureDefinition{"funding \"now\" ✓", FeatureKey::context(btc, "fund:ing")},
        def(FeatureKey::book_price_query(FeatureKind::OrderBookLevelSize, btc, Side::Bid,
                                         dec("100.500"))),
        def(FeatureKey::book_nth(FeatureKind::OrderBookNthPrice, btc, Side::Ask, 3)),
        def(FeatureKey::book_nth(FeatureKind::OrderBookNthSize, btc, Side::Bid, 10)),
        def(FeatureKey::book_price_query(FeatureKind::OrderBookDepthUntilPrice, btc, Side::Ask,
                                         dec("101"))),
        def(FeatureKey::book_size_query(FeatureKind::OrderBookDepthUntilSizePriceFrom, btc,
                                        Side::Bid, dec("2.50"))),
        def(FeatureKey::book_size_query(FeatureKind::OrderBookDepthUntilSizePriceTo, btc, Side::Ask,
                                        dec("2.5"))),
        def(FeatureKey::book_size_query(FeatureKind::OrderBookDepthUntilSizeTotalSize, btc,
                                        Side::Bid, dec("0.001"))),
        def(FeatureKey::book_volume_between(btc, Side::Bid, dec("99"), dec("100.25"))),
        def(FeatureKey::book_imbalance(btc, 5)),
        def(FeatureKey::book_imbalance(btc, 1)),
        def(FeatureKey::book_imbalance(eth, 3)),
        def(FeatureKey::field_of(btc, ScalarField::TradePrice)),
        FeatureDefinition{"eth volume", FeatureKey::field_of(eth, ScalarField::Volume)},
        def(FeatureKey::cvd(btc, TRADE, 100, WarmupPolicy::FullWindow)),
        def(FeatureKey::cvd(btc, TRADE, 10, WarmupPolicy::FullWindow)),
        def(FeatureKey::returns(btc, PRICE, 1, false)),
        FeatureDefinition{"log-5", FeatureKey::returns(btc, PRICE, 5, true)},
        def(FeatureKey::volatility(btc, trade_price, 20, WarmupPolicy::FirstValue)),
        def(FeatureKey::volatility(btc, trade_price, 5, WarmupPolicy::FirstValue)),
        def(FeatureKey::timed(FeatureKind::SmaTimed, btc, PRICE, ms(500), ms(1500),
                              WarmupPolicy::FirstValue)),
        def(FeatureKey::timed(FeatureKind::SmaTimed, btc, PRICE, ms(500), ms(60'000),
                              WarmupPolicy::FirstValue)),
        def(FeatureKey::timed(FeatureKind::VolatilityTimed, btc, vol, ms(1000), ms(300'000),
                              WarmupPolicy::FullWindow)),
        def(FeatureKey::timed(FeatureKind::ObvTimed, btc, TRADE, ms(60'000), ms(3'600'000),
                              WarmupPolicy::FullWindow)),
        def(FeatureKey::timed(FeatureKind::TradeCountTimed, btc, TRADE, ms(1000), ms(10'000),
                              WarmupPolicy::FirstValue)),
        def(FeatureKey::timed(FeatureKind::TradeVolumeTimed, btc, TRADE, ms(250), ms(1000),
                              WarmupPolicy::FirstValue)),
        def(FeatureKey::timed(FeatureKind::VwapTimed, btc, TRADE, ms(1000), ms(90'000),
                              WarmupPolicy::FullWindow)),
        def(FeatureKey::vpt(btc, TRADE)),
        def(FeatureKey::day_of_week(g, ANY)),
        def(FeatureKey::time_since_first_event_of_day(g, ANY, 3 * 3'600'000)),
        def(FeatureKey::time_since_first_event_of_day(g, ANY, -(5 * 3'600'000 + 30 * 60'000))),
    };
    const FeatureKind scalars[] = {
        FeatureKind::OrderBookBestBidPrice, FeatureKind::OrderBookBestBidSize,
        FeatureKind::OrderBookBestAskPrice, FeatureKind::OrderBookBestAskSize,
        FeatureKind::OrderBookMidPrice,     FeatureKind::OrderBookSpread,
        FeatureKind::OrderBookSpreadBps,    FeatureKind::OrderBookWeightedMidPrice,
        FeatureKind::OrderBookMicroprice,
    };
    for (FeatureKind k : scalars) defs.push_back(def(FeatureKey::book_scalar(k, btc)));
    std::vector<OrderBookEntry> books = {
        {eth, OrderBookConfig{16, std::nullopt, UpdatePolicy::Contiguous}},
        {btc, OrderBookConfig{1024, DenseBookConfig{dec("0.010"), dec("0"), dec("1000.00")},
                              UpdatePolicy::Monotonic}},
    };
    return make_spec(std::move(defs), 50, "sha256:\"ab\\c\"\n — Prüfsumme ✓", std::move(books));
}

TEST(JsonFeatureExtractorSpec, RoundTripsEveryKind) {
    const FeatureExtractorSpec spec = every_kind_spec();
    ASSERT_EQ(spec.active_feature_count(), 41u);
    const auto text = to_json(spec);
    ASSERT_TRUE(text.has_value()) << text.error().message;
    const auto back = from_json(*text);
    ASSERT_TRUE(back.has_value()) << back.error().message;
    EXPECT_EQ(back->definitions(), spec.definitions());
    EXPECT_EQ(back->feature_ids(), spec.feature_ids());
    EXPECT_EQ(back->capacity(), 50u);
    EXPECT_EQ(back->checksum(), spec.checksum());
    EXPECT_EQ(back->order_books(), spec.order_books());
    EXPECT_EQ(*back, spec);
    EXPECT_EQ(to_json(*back), text);
    // Every kind text appears; the IDs that differ from the defaults are kept.
    for (const char* kind : {"\"simple_return\"", "\"log_return\"", "\"vwap_timed\"",
                             "\"order_book_microprice\"", "\"trade_count_timed\""}) {
        EXPECT_NE(text->find(kind), std::string::npos) << kind;
    }
    EXPECT_NE(text->find(R"("id": "funding \"now\" ✓")"), std::string::npos);
    EXPECT_NE(text->find(R"("utc_offset": "-05:30")"), std::string::npos);
    EXPECT_EQ(text->find("\"id\": \"field:"), std::string::npos);
}

TEST(JsonFeatureExtractorSpec, EveryKindTextReadsBackAsItsKind) {
    std::set<std::string_view> seen;
    for (int i = 0; i < FEATURE_KIND_COUNT; ++i) {
        const auto kind = static_cast<FeatureKind>(i);
        for (const bool log : {false, true}) {
            const std::string_view text = kind_text(kind, log);
            ASSERT_FALSE(text.empty()) << i;
            seen.insert(text);
            const auto parsed = artifact::parse_kind_text(text);
            ASSERT_TRUE(parsed.has_value()) << text;
            EXPECT_EQ(parsed->kind, kind) << text;
            EXPECT_EQ(parsed->log, kind == FeatureKind::Returns && log) << text;
        }
    }
    // One text per kind, Returns counted twice (simple and log).
    EXPECT_EQ(seen.size(), static_cast<size_t>(FEATURE_KIND_COUNT) + 1);
    // Matching is exact.
    for (const char* text : {"", "sma", "Cvd", "cvd ", "log_returns", "order_book"}) {
        EXPECT_FALSE(artifact::parse_kind_text(text).has_value()) << text;
    }
}

TEST(JsonFeatureExtractorSpec, RoundTripsAnEmptySpec) {
    const auto spec = FeatureExtractorSpec::empty(3, std::nullopt);
    const auto text = to_json(spec);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, R"({
  "version": "2.0",
  "capacity": 3,
  "length": 0,
  "required_events": [],
  "features": []
})");
    const auto back = from_json(*text);
    ASSERT_TRUE(back.has_value()) << back.error().message;
    EXPECT_EQ(*back, spec);
}

TEST(JsonFeatureExtractorSpec, RefusesSpecsItCannotWrite) {
    const Symbol btc = sym("btc");
    struct Case {
        std::vector<FeatureDefinition> defs;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{def(FeatureKey::timed(FeatureKind::SmaTimed, btc, PRICE, ms(1000), ms(1500),
                                WarmupPolicy::FirstValue))},
         "invalid indicator definition at index 0: timed SMA: window must be an exact multiple "
         "of aggregation 1000ms, got 1500ms"},
        {{def(FeatureKey::field_of(btc, ScalarField::Price)),
          def(FeatureKey::volatility(btc, PRICE, 0, WarmupPolicy::FirstValue))},
         "invalid indicator definition at index 1: rolling volatility: window must be at least 1"},
        {{def(FeatureKey::book_scalar(FeatureKind::OrderBookMidPrice, Symbol::global()))},
         "order_book_mid_price requires a symbol-specific scope"},
        {{FeatureDefinition{"a", FeatureKey::field_of(btc, ScalarField::Price)},
          FeatureDefinition{"b", FeatureKey::field_of(btc, ScalarField::Price)}},
         "indicator field has more than one scalar output"},
    };
    for (const Case& c : cases) {
        const auto text = to_json(make_spec(c.defs, c.defs.size()));
        ASSERT_FALSE(text.has_value()) << c.message;
        EXPECT_EQ(text.error().message, c.message);
    }
    // A checksum that is not UTF-8 cannot be put into JSON text.
    const auto text = to_json(FeatureExtractorSpec::empty(0, std::string("\xff")));
    ASSERT_FALSE(text.has_value());
    EXPECT_EQ(text.error().message, "string is not valid UTF-8");
}

// ---- Reading --------------------------------------------------------------

constexpr std::string_view FIELD =
    R"({"kind":"field","source":{"type":"field","event":"price","field":"value"}})";
constexpr std::string_view PRICE_EVENT = R"({"symbol":"btc","event":"price"})";
constexpr std::string_view BOOK_EVENTS =
    R"({"symbol":"btc","event":"order_book_delta"},{"symbol":"btc","event":"order_book_snapshot"})";

// A one-group document; `tail` is spliced in after the features.
std::string document(std::string_view indicators, std::string_view events = PRICE_EVENT,
                     std::string_view symbol = "btc", uint64_t length = 1, uint64_t capacity = 1,
                     std::string_view tail = "") {
    return fmt::format(R"({{"version":"2.0","capacity":{},"length":{},"required_events":[{}],)"
                       R"("features":[{{"symbol":"{}","indicators":[{}]}}]{}}})",
                       capacity, length, events, symbol, indicators, tail);
}

std::string indicator(std::string_view kind, std::string_view source, std::string_view rest = "") {
    return fmt::format(R"({{"kind":"{}","source":{}{}}})", kind, source, rest);
}
constexpr std::string_view FIELD_SOURCE = R"({"type":"field","event":"price","field":"value"})";
constexpr std::string_view TRADE_SOURCE = R"({"type":"event","event":"trade"})";
constexpr std::string_view BOOK_SOURCE = R"({"type":"order_book"})";

// Line and column (in characters) of the `occurrence`-th `marker` in `text`,
// or of the character right after it when `after` is set.
std::string position_of(std::string_view text, std::string_view marker, int occurrence,
                        bool after) {
    size_t at = text.find(marker);
    for (int i = 0; i < occurrence && at != std::string_view::npos; ++i) {
        at = text.find(marker, at + 1);
    }
    if (at == std::string_view::npos) return "<marker not found>";
    if (after) at += marker.size();
    int line = 1;
    int column = 1;
    for (size_t i = 0; i < at; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            ++line;
            column = 1;
        } else if ((c & 0xC0) != 0x80) {
            ++column;
        }
    }
    return fmt::format(" at line {} column {}", line, column);
}

struct ReadCase {
    std::string text;
    std::string message;
    std::string marker;  // the offending text
    int occurrence = 0;
    bool after = false;  // the fault starts right after the marker
};

void expect_refused(const std::vector<ReadCase>& cases) {
    for (const ReadCase& c : cases) {
        const auto spec = from_json(c.text);
        ASSERT_FALSE(spec.has_value()) << c.text;
        EXPECT_EQ(spec.error().message,
                  c.message + position_of(c.text, c.marker, c.occurrence, c.after))
            << c.text;
    }
}

TEST(JsonFeatureExtractorSpec, ReadsAMinimalDocument) {
    const auto spec = from_json(document(FIELD));
    ASSERT_TRUE(spec.has_value()) << spec.error().message;
    ASSERT_EQ(spec->definitions().size(), 1u);
    EXPECT_EQ(spec->definitions()[0], def(FeatureKey::field_of(sym("btc"), ScalarField::Price)));
}

TEST(JsonFeatureExtractorSpec, RefusesStructuralFaultsWithTheirPosition) {
    const std::string doc = document(FIELD);
    const auto replace = [&](std::string_view from, std::string_view to) {
        std::string text = doc;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    expect_refused({
        {R"({"version":"2.0")", "EOF while parsing an object", R"("2.0")", 0, true},
        {R"({"version":"2.0","capacity":1,"length":1,"features":[]})",
         "missing field `required_events`", "{"},
        {document(R"({"kind":"field"})"), "missing field `source`", R"({"kind")"},
        {document(FIELD, PRICE_EVENT, "btc", 1, 1, R"(,"extra":1)"),
         "unknown field `extra`, expected one of `version`, `capacity`, `length`, "
         "`required_events`, `checksum`, `features`, `order_books`",
         R"("extra")"},
        {document(indicator("field", FIELD_SOURCE, R"(,"window":5)")),
         "unknown field `window`, expected one of `kind`, `source`, `warmup_policy`, `options`, "
         "`outputs`",
         R"("window")"},
        {document(indicator("field", FIELD_SOURCE, R"(,"outputs":[{"name":"x"}])")),
         "unknown field `name`, expected one of `n_levels`, `lag`, `window`, `id`", R"("name")"},
        {document(FIELD, PRICE_EVENT, "btc", 1, 1, R"(,"length":1)"), "duplicate field `length`",
         R"("length")", 1},
        {replace(R"("capacity":1)", R"("capacity":"1")"),
         "invalid type for `capacity`: expected an unsigned integer, found a string", R"("1")"},
        {replace(R"("capacity":1)", R"("capacity":-1)"),
         "invalid value for `capacity`: expected an unsigned 64-bit integer, found -1", "-1"},
        {replace(R"("capacity":1)", R"("capacity":1.0)"),
         "invalid value for `capacity`: expected an unsigned 64-bit integer, found 1.0", "1.0"},
        {replace(R"("version":"2.0")", R"("version":2.0)"),
         "invalid type for `version`: expected a string, found a number", "2.0"},
        {document(FIELD, PRICE_EVENT, "btc", 1, 1, R"(,"checksum":null)"),
         "invalid type for `checksum`: expected a string, found null", "null"},
        {replace(R"("features":[)", R"("features":{"a":[)").append("}"),
         "invalid type for `features`: expected an array, found an object", R"({"a")"},
        {document(indicator("cvd", TRADE_SOURCE, R"(,"warmup_policy":"sometimes")")),
         "unknown variant `sometimes` for `warmup_policy`, expected `first_value` or "
         "`full_window`",
         R"("sometimes")"},
        {document(indicator("cvd", TRADE_SOURCE, R"(,"outputs":[{"window":true}])")),
         "invalid type for `window`: expected an unsigned integer or a duration string, found a "
         "boolean",
         "true"},
        {document(
             FIELD, PRICE_EVENT, "btc", 1, 1,
             R"(,"order_books":[{"symbol":"btc","update_policy":"Monotonic","buffer_size":1}])"),
         "unknown variant `Monotonic` for `update_policy`, expected `monotonic` or `contiguous`",
         R"("Monotonic")"},
        {document(FIELD, PRICE_EVENT, "btc", 1, 1,
                  R"(,"order_books":[{"symbol":"btc","update_policy":"monotonic"}])"),
         "missing field `buffer_size`", R"({"symbol":"btc","update)"},
        // A structural fault is found before any meaning is checked.
        {replace(R"("version":"2.0")", R"("version":"1.0","x":1)"),
         "unknown field `x`, expected one of `version`, `capacity`, `length`, `required_events`, "
         "`checksum`, `features`, `order_books`",
         R"("x")"},
    });
}

TEST(JsonFeatureExtractorSpec, PositionsCountLinesAndCharacters) {
    const std::string text =
        "{\n  \"version\": \"2.0\",\n  \"checksum\": \"€€\", \"capacity\": true\n}";
    const auto spec = from_json(text);
    ASSERT_FALSE(spec.has_value());
    EXPECT_EQ(spec.error().message,
              "invalid type for `capacity`: expected an unsigned integer, found a boolean at line "
              "3 column 33");
}

TEST(JsonFeatureExtractorSpec, RefusesBadDocumentsGroupsAndCounts) {
    const std::string two_groups =
        fmt::format(R"({{"version":"2.0","capacity":2,"length":2,"required_events":[{}],)"
                    R"("features":[{{"symbol":"btc","indicators":[{}]}},)"
                    R"({{"symbol":"BTC","indicators":[{}]}}]}})",
                    PRICE_EVENT, FIELD, FIELD);
    const auto books = [&](std::string_view entries) {
        return document(FIELD, PRICE_EVENT, "btc", 1, 1,
                        fmt::format(R"(,"order_books":[{}])", entries));
    };
    const std::string migrate =
        "; migrate sample averages to field extraction plus sma/ema pipeline transformations";
    expect_refused({
        {document(FIELD).replace(12, 3, "2"),
         R"(unsupported feature-vector spec version "2"; expected "2.0")" + migrate, R"("2")"},
        {document(FIELD).replace(12, 3, "2.00"),
         R"(unsupported feature-vector spec version "2.00"; expected "2.0")" + migrate,
         R"("2.00")"},
        {document(FIELD, PRICE_EVENT, ""), "feature group symbol must not be empty", R"("")"},
        {document("", "", "BTC"), R"(feature group "BTC" must contain at least one indicator)",
         "[]", 1},
        {two_groups, R"(duplicate normalized symbol group "btc")", R"("BTC")"},
        {document(FIELD, R"({"symbol":"btc","event":"tick"})"), R"(unknown event kind "tick")",
         R"("tick")"},
        {document(FIELD, R"({"symbol":"btc","event":"time"})"),
         R"(event "time" has invalid symbol "btc")", R"({"symbol":"btc","event":"time"})"},
        {document(FIELD, R"({"symbol":"__global__","event":"price"})"),
         R"(event "price" has invalid symbol "__global__")", R"({"symbol":"__global__")"},
        {document(FIELD, R"({"symbol":"btc","event":"price"},{"symbol":"BTC","event":"price"})"),
         "duplicate normalized required event", R"({"symbol":"BTC")"},
        {document(FIELD, ""), "required_events does not match feature extractor inputs", "[]"},
        {document(FIELD, R"({"symbol":"btc","event":"price"},{"symbol":"btc","event":"trade"})"),
         "required_events does not match feature extractor inputs", R"([{"symbol")"},
        {document(FIELD, R"({"symbol":"eth","event":"price"})"),
         "required_events does not match feature extractor inputs", R"([{"symbol")"},
        // A book feature without the book events of its symbol.
        {document(indicator("order_book_mid_price", BOOK_SOURCE), PRICE_EVENT),
         "required_events does not match feature extractor inputs", R"([{"symbol")"},
        {document(FIELD, PRICE_EVENT, "btc", 2, 2),
         "length 2 does not match expanded definition count 1", R"("length":)", 0, true},
        {document(FIELD, PRICE_EVENT, "btc", 1, 0), "capacity 0 is smaller than length 1",
         R"("capacity":)", 0, true},
        {books(R"({"symbol":"","update_policy":"monotonic","buffer_size":8})"),
         "order-book symbol must not be empty", R"("")"},
        {books(R"({"symbol":"btc","update_policy":"monotonic","buffer_size":8,)"
               R"("dense":{"min_price":"1","max_price":"2"}})"),
         "order-book query requires tick_size", R"({"min_price")"},
        {books(R"({"symbol":"btc","update_policy":"monotonic","buffer_size":8,)"
               R"("dense":{"tick_size":"1","min_price":"1"}})"),
         "order-book query requires max_price", R"({"tick_size")"},
        {books(R"({"symbol":"btc","update_policy":"monotonic","buffer_size":8,)"
               R"("dense":{"tick_size":"1","min_price":"x","max_price":"2"}})"),
         "invalid order-book min_price: Invalid decimal: unknown character", R"("x")"},
        {books(R"({"symbol":"btc","update_policy":"monotonic","buffer_size":8},)"
               R"({"symbol":"BTC","update_policy":"monotonic","buffer_size":8})"),
         "more than one order book is configured for symbol btc", R"("order_books":)", 0, true},
        {books(R"({"symbol":"__global__","update_policy":"monotonic","buffer_size":8})"),
         "invalid argument: order books require a non-global symbol", R"("order_books":)", 0, true},
        {books(R"({"symbol":"btc","update_policy":"monotonic","buffer_size":8,)"
               R"("dense":{"tick_size":"0","min_price":"1","max_price":"2"}})"),
         "order-book update failed: invalid dense order-book grid: tick 0, range [1, 2]",
         R"("order_books":)", 0, true},
        {document(indicator("field", FIELD_SOURCE, R"(,"outputs":[{"id":"__reserved_0"}])")),
         "invalid argument: feature definition at index 0 uses the reserved namespace for feature "
         "IDs",
         R"({"id")"},
    });
}

TEST(JsonFeatureExtractorSpec, RefusesBadSourcesAndScopes) {
    const auto in_btc = [](std::string_view kind, std::string_view source,
                           std::string_view rest = "") {
        return document(indicator(kind, source, rest));
    };
    const auto in_global = [](std::string_view kind, std::string_view source,
                              std::string_view rest = "") {
        return document(indicator(kind, source, rest), "", "__global__");
    };
    const std::string full = R"(,"warmup_policy":"full_window")";
    expect_refused({
        {in_btc("foo", FIELD_SOURCE), R"(unknown indicator kind "foo")", R"("foo")"},
        {in_btc("sma", FIELD_SOURCE),
         "sample averages moved to transformers; use field extraction plus an sma/ema pipeline "
         "transformation",
         R"("sma")"},
        {in_btc("ema", FIELD_SOURCE),
         "sample averages moved to transformers; use field extraction plus an sma/ema pipeline "
         "transformation",
         R"("ema")"},
        {in_btc("cvd", R"({"type":"bar"})", full), R"(unknown source type "bar")", R"("bar")"},
        {in_global("day_of_week", R"({"type":"any_event","event":"time"})"),
         "any_event source does not allow event or field", R"({"type":"any_event")"},
        {in_btc("cvd", R"({"type":"event"})", full), "event source requires event",
         R"({"type":"event"})"},
        {in_btc("cvd", R"({"type":"event","event":"trade","field":"price"})", full),
         "event source does not allow field", R"("field":)", 0, true},
        {in_btc("cvd", R"({"type":"event","event":"tick"})", full), R"(unknown event kind "tick")",
         R"("tick")"},
        {in_btc("volatility", R"({"type":"field","field":"value"})", full),
         "field source requires event", R"({"type":"field")"},
        {in_btc("volatility", R"({"type":"field","event":"price"})", full),
         "field source requires field", R"({"type":"field")"},
        {in_btc("volatility", R"({"type":"field","event":"trade","field":"value"})", full),
         "invalid field source event/field pair trade/value", R"({"type":"field")"},
        {in_btc("order_book_mid_price", R"({"type":"order_book","event":"price"})"),
         "order_book source requires a symbol-specific scope and no event or field",
         R"({"type":"order_book")"},
        {in_global("order_book_mid_price", BOOK_SOURCE),
         "order_book source requires a symbol-specific scope and no event or field",
         R"({"type":"order_book")"},
        {in_btc("context", FIELD_SOURCE, R"(,"options":{"name":"x"})"),
         "context requires a context source without event or field", R"({"type":"field")"},
        {in_btc("context", R"({"type":"context","event":"price"})", R"(,"options":{"name":"x"})"),
         "context requires a context source without event or field", R"({"type":"context")"},
        {in_btc("field", R"({"type":"event","event":"price"})"),
         "field requires a scalar field source", R"({"type":"event")"},
        {in_btc("order_book_mid_price", R"({"type":"any_event"})"),
         "invalid indicator kind order_book_mid_price for order_book source",
         R"({"type":"any_event"})"},
        {in_btc("cvd", FIELD_SOURCE, full),
         R"(invalid symbol scope or source for indicator kind "cvd")", R"({"type":"field")"},
        {in_btc("volatility", TRADE_SOURCE, full),
         R"(invalid symbol scope or source for indicator kind "volatility")", R"({"type":"event")"},
        {in_btc("vpt", R"({"type":"event","event":"price"})"),
         R"(invalid symbol scope or source for indicator kind "vpt")", R"({"type":"event")"},
        {in_btc("day_of_week", R"({"type":"any_event"})"),
         R"(invalid symbol scope or source for indicator kind "day_of_week")",
         R"({"type":"any_event"})"},
        {in_global("field", FIELD_SOURCE),
         R"(invalid symbol scope or source for indicator kind "field")", R"({"type":"field")"},
        {in_global("simple_return", FIELD_SOURCE, R"(,"outputs":[{"lag":1}])"),
         R"(invalid symbol scope or source for indicator kind "simple_return")",
         R"({"type":"field")"},
        {in_btc("simple_return", R"({"type":"context"})"),
         R"(invalid symbol scope or source for indicator kind "simple_return")",
         R"({"type":"context"})"},
        {in_btc("cvd", BOOK_SOURCE, full),
         R"(invalid symbol scope or source for indicator kind "cvd")", R"({"type":"order_book"})"},
        {in_btc("cvd", TRADE_SOURCE), "cvd requires warmup_policy", R"({"kind")"},
        {in_btc("field", FIELD_SOURCE, R"(,"warmup_policy":"first_value")"),
         "field does not allow warmup_policy", R"("first_value")"},
    });
}

TEST(JsonFeatureExtractorSpec, RefusesBadOptions) {
    const auto in_btc = [](std::string_view kind, std::string_view source,
                           std::string_view rest = "") {
        return document(indicator(kind, source, rest));
    };
    const auto in_global = [](std::string_view kind, std::string_view rest = "") {
        const std::string_view source =
            kind == "context" ? R"({"type":"context"})" : R"({"type":"any_event"})";
        return document(indicator(kind, source, rest), "", "__global__");
    };
    const auto sma = [&](std::string_view options) {
        return in_btc("sma_timed", FIELD_SOURCE,
                      fmt::format(R"(,"warmup_policy":"first_value","options":{})", options));
    };
    const auto book = [&](std::string_view kind, std::string_view options) {
        return in_btc(kind, BOOK_SOURCE, fmt::format(R"(,"options":{})", options));
    };
    expect_refused({
        {in_btc("field", FIELD_SOURCE, R"(,"options":{})"), "field does not allow options",
         R"("options":)", 0, true},
        {book("order_book_mid_price", R"({"side":"bid"})"),
         "order_book_mid_price does not allow options", R"({"side")"},
        {in_global("context", R"(,"options":{"name":"r","side":"bid"})"),
         "context has unexpected options", R"({"name")"},
        {in_global("context"), "context requires options.name", R"({"kind")"},
        {in_global("context", R"(,"options":{})"), "context requires options.name", R"("options":)",
         0, true},
        {sma(R"({"name":"x","aggregation":"1s"})"), "only context allows options.name", R"("x")"},
        {in_btc("sma_timed", FIELD_SOURCE, R"(,"warmup_policy":"first_value")"),
         "sma_timed options require aggregation", R"({"kind")"},
        {sma(R"({})"), "sma_timed options require aggregation", R"("options":)", 0, true},
        {sma(R"({"aggregation":"1s","utc_offset":"+01:00"})"),
         "sma_timed options do not allow utc_offset", R"("+01:00")"},
        {sma(R"({"aggregation":"1s","side":"bid"})"),
         "sma_timed does not allow order-book query parameters", R"({"aggregation")"},
        {in_global("time_since_first_event_of_day"),
         "time_since_first_event_of_day options require utc_offset", R"({"kind")"},
        {in_global("time_since_first_event_of_day", R"(,"options":{"aggregation":"1s"})"),
         "time_since_first_event_of_day options do not allow aggregation", R"("1s")"},
        {in_global("time_since_first_event_of_day", R"(,"options":{"n_levels":1})"),
         "time_since_first_event_of_day does not allow order-book query parameters",
         R"({"n_levels")"},
        {book("order_book_level_size", R"({"side":"bid","price":"1","size":"2"})"),
         "query key has unexpected options", R"({"side")"},
        {book("order_book_nth_price", R"({"side":"bid","price":"1"})"),
         "query key has unexpected options", R"({"side")"},
        {book("order_book_level_size", R"({"side":"bid","price":"1","aggregation":"1s"})"),
         "order_book_level_size has unexpected options", R"({"side")"},
        {book("order_book_level_size", R"({"side":"bid","price":"1","name":"n"})"),
         "only context allows options.name", R"("n")"},
        {book("order_book_nth_price", R"({"side":"bid"})"),
         "order_book_nth_price requires n_levels", R"({"side")"},
        {book("order_book_nth_size", R"({"side":"ask"})"), "order_book_nth_size requires n_levels",
         R"({"side")"},
        {in_btc("order_book_level_size", BOOK_SOURCE), "order-book query requires side bid or ask",
         R"({"kind")"},
        {book("order_book_level_size", R"({"price":"1"})"),
         "order-book query requires side bid or ask", R"({"price")"},
        {book("order_book_level_size", R"({"side":"BID","price":"1"})"),
         "order-book query requires side bid or ask", R"("BID")"},
        {book("order_book_level_size", R"({"side":"ask"})"), "order-book query requires price",
         R"({"side")"},
        {book("order_book_depth_until_size_total_size", R"({"side":"ask"})"),
         "order-book query requires size", R"({"side")"},
        {book("order_book_volume_between_prices", R"({"side":"ask","to_price":"2"})"),
         "order-book query requires from_price", R"({"side")"},
        {book("order_book_volume_between_prices", R"({"side":"ask","from_price":"2"})"),
         "order-book query requires to_price", R"({"side")"},
        {book("order_book_level_size", R"({"side":"bid","price":"1e5"})"),
         "invalid order-book price: Invalid decimal: unknown character", R"("1e5")"},
        {book("order_book_depth_until_price", R"({"side":"bid","price":"1.2.3"})"),
         "invalid order-book price: Invalid decimal: two decimal points", R"("1.2.3")"},
        {sma(R"({"aggregation":"1sec"})"),
         R"(invalid duration "1sec"; expected a positive integer followed by ms, s, m, or h)",
         R"("1sec")"},
        {in_global("time_since_first_event_of_day", R"(,"options":{"utc_offset":"+15"})"),
         R"(invalid UTC offset "+15")", R"("+15")"},
    });
}

TEST(JsonFeatureExtractorSpec, RefusesBadOutputs) {
    const std::string full = R"(,"warmup_policy":"full_window")";
    const auto with = [](std::string_view kind, std::string_view source, std::string_view rest,
                         std::string_view outputs) {
        return document(indicator(kind, source, fmt::format(R"({},"outputs":{})", rest, outputs)));
    };
    const std::string sma_rest = R"(,"warmup_policy":"first_value","options":{"aggregation":"1s"})";
    std::string seventeen = "[";
    for (int i = 1; i <= 17; ++i)
        seventeen += fmt::format(R"({}{{"n_levels":{}}})", i > 1 ? "," : "", i);
    seventeen += "]";
    expect_refused({
        {with("cvd", TRADE_SOURCE, full, "[]"), "cvd outputs must not be empty", "[]", 0},
        {with("field", FIELD_SOURCE, "", "[{},{}]"), "field requires exactly one output",
         "[{},{}]"},
        {with("trade_count_timed", TRADE_SOURCE, sma_rest, R"([{"window":"1s"},{"window":"2s"}])"),
         "trade_count_timed requires exactly one output", R"([{"window")"},
        {with("order_book_mid_price", BOOK_SOURCE, "", R"([{"window":5}])"),
         "order_book_mid_price output does not allow window, lag, or n_levels", R"({"window")"},
        {with("field", FIELD_SOURCE, "", R"([{"n_levels":1}])"),
         "field output does not allow window, lag, or n_levels", R"({"n_levels")"},
        {with("cvd", TRADE_SOURCE, full, R"([{"window":"5s"}])"),
         "cvd output requires an integer window", R"({"window")"},
        {document(indicator("volatility", FIELD_SOURCE, full)),
         "volatility output requires an integer window", R"({"kind")"},
        {with("sma_timed", FIELD_SOURCE, sma_rest, R"([{"window":5}])"),
         "sma_timed output requires a duration window", R"({"window")"},
        {with("simple_return", FIELD_SOURCE, "", R"([{}])"),
         "simple_return output requires an integer lag", R"("outputs":[)", 0, true},
        {with("log_return", FIELD_SOURCE, "", R"([{"lag":1,"window":2}])"),
         "log_return output does not allow window", R"({"lag")"},
        {with("cvd", TRADE_SOURCE, full, R"([{"window":5,"lag":1}])"),
         "cvd output does not allow lag", R"({"window")"},
        {with("volatility", FIELD_SOURCE, full, R"([{"window":5,"n_levels":1}])"),
         "volatility output does not allow n_levels", R"({"window")"},
        {with("simple_return", FIELD_SOURCE, "", R"([{"lag":1,"n_levels":1}])"),
         "simple_return output does not allow n_levels", R"({"lag")"},
        {with("vwap_timed", TRADE_SOURCE, sma_rest, R"([{"window":"5s","lag":1}])"),
         "vwap_timed output does not allow lag", R"({"window")"},
        {with("order_book_imbalance", BOOK_SOURCE, "", R"([{"n_levels":0}])"),
         "order_book_imbalance requires positive n_levels", R"({"n_levels")"},
        {document(indicator("order_book_imbalance", BOOK_SOURCE)),
         "order_book_imbalance requires positive n_levels", R"({"kind")"},
        {with("order_book_imbalance", BOOK_SOURCE, "", R"([{"n_levels":1,"lag":1}])"),
         "order_book_imbalance output does not allow window or lag", R"({"n_levels")"},
        {with("order_book_imbalance", BOOK_SOURCE, "", seventeen),
         "order_book_imbalance exceeds 16 outputs", R"([{"n_levels")"},
        {with("sma_timed", FIELD_SOURCE, sma_rest, R"([{"window":"1s"},{"window":"1500ms"}])"),
         "invalid indicator definition at index 0: timed SMA: window must be an exact multiple of "
         "aggregation 1000ms, got 1500ms",
         R"({"window":"1500ms"})"},
        {with("cvd", TRADE_SOURCE, full, R"([{"window":0}])"),
         "invalid indicator definition at index 0: CVD: window must be at least 1", R"({"window")"},
        {document(indicator("context", R"({"type":"context"})", R"(,"options":{"name":""})")),
         "invalid indicator definition at index 0: context: context name must not be empty",
         R"({"kind")"},
        {with("order_book_level_size", BOOK_SOURCE, R"(,"options":{"side":"bid","price":"-1"})",
              "[{}]"),
         "invalid indicator definition at index 0: order book level size: order-book query "
         "prices must be nonnegative",
         R"("outputs":[)", 0, true},
    });
}

// The edge cases of the format, through whole documents.
TEST(JsonFeatureExtractorSpec, DurationsInWindowsAreStrict) {
    const auto sma = [](std::string_view window) {
        return document(indicator(
            "sma_timed", FIELD_SOURCE,
            fmt::format(R"(,"warmup_policy":"first_value","options":{{"aggregation":"500ms"}},)"
                        R"("outputs":[{{"window":"{}"}}])",
                        window)));
    };
    for (std::string_view bad : {"0s", "05s", "1.5s", " 1s", "1sec"}) {
        const auto spec = from_json(sma(bad));
        ASSERT_FALSE(spec.has_value()) << bad;
        EXPECT_EQ(spec.error().message,
                  fmt::format("invalid duration \"{}\"; expected a positive integer followed by "
                              "ms, s, m, or h",
                              bad) +
                      position_of(sma(bad), fmt::format("\"{}\"", bad), 0, false));
    }
    // 1500ms stays 1500ms; 60s is written back as 1m.
    const std::string text =
        document(indicator("sma_timed", FIELD_SOURCE,
                           R"(,"warmup_policy":"first_value","options":{"aggregation":"500ms"},)"
                           R"("outputs":[{"window":"1500ms"},{"window":"60s"}])"),
                 PRICE_EVENT, "btc", 2, 2);
    const auto spec = from_json(text);
    ASSERT_TRUE(spec.has_value()) << spec.error().message;
    EXPECT_EQ(spec->definitions()[0].key.window_duration, ms(1500));
    EXPECT_EQ(spec->definitions()[1].key.window_duration, ms(60'000));
    const auto written = to_json(*spec);
    ASSERT_TRUE(written.has_value());
    EXPECT_NE(written->find(R"("window": "1500ms")"), std::string::npos);
    EXPECT_NE(written->find(R"("window": "1m")"), std::string::npos);
    EXPECT_EQ(written->find("60s"), std::string::npos);
}

TEST(JsonFeatureExtractorSpec, UtcOffsetsAreReadLooselyAndWrittenCanonically) {
    const auto with_offset = [](std::string_view offset) {
        return document(indicator("time_since_first_event_of_day", R"({"type":"any_event"})",
                                  fmt::format(R"(,"options":{{"utc_offset":"{}"}})", offset)),
                        R"({"symbol":"__global__","event":"time"})", "__global__");
    };
    const auto spec = from_json(with_offset("UTC+3"));
    ASSERT_TRUE(spec.has_value()) << spec.error().message;
    EXPECT_EQ(spec->definitions()[0].key.utc_offset_ms, 3 * 3'600'000);
    const auto written = to_json(*spec);
    ASSERT_TRUE(written.has_value());
    EXPECT_NE(written->find(R"("utc_offset": "+03:00")"), std::string::npos);
    for (std::string_view bad : {"+14:30", "+15"}) {
        const auto refused = from_json(with_offset(bad));
        ASSERT_FALSE(refused.has_value()) << bad;
        EXPECT_EQ(refused.error().message,
                  fmt::format("invalid UTC offset \"{}\"", bad) +
                      position_of(with_offset(bad), fmt::format("\"{}\"", bad), 0, false));
    }
}

TEST(JsonFeatureExtractorSpec, AbsentOutputsMeanOneOutputAndIdsAreKept) {
    // No outputs: one output with the default ID.
    const auto implicit = from_json(document(FIELD));
    ASSERT_TRUE(implicit.has_value());
    EXPECT_EQ(implicit->definitions()[0].id, "field:symbol=3:btc:source=field.price");
    // A user ID is read and written back; a default one is not written.
    const auto custom =
        from_json(document(indicator("field", FIELD_SOURCE, R"(,"outputs":[{"id":"px"}])")));
    ASSERT_TRUE(custom.has_value());
    EXPECT_EQ(custom->definitions()[0].id, "px");
    EXPECT_NE(to_json(*custom)->find(R"("id": "px")"), std::string::npos);
    EXPECT_EQ(to_json(*implicit)->find(R"("id")"), std::string::npos);
    // An explicit ID equal to the default reads the same as none at all.
    const auto explicit_default = from_json(document(indicator(
        "field", FIELD_SOURCE, R"(,"outputs":[{"id":"field:symbol=3:btc:source=field.price"}])")));
    ASSERT_TRUE(explicit_default.has_value());
    EXPECT_EQ(*explicit_default, *implicit);
}

TEST(JsonFeatureExtractorSpec, ReadsGroupsInAnyOrderIntoCanonicalOrder) {
    // Groups and indicators out of canonical order, events in another order:
    // the spec comes out canonical and writes canonically.
    const std::string text = fmt::format(
        R"({{"version":"2.0","capacity":5,"length":5,"required_events":[)"
        R"({{"symbol":"eth","event":"price"}},{{"symbol":"__global__","event":"time"}},)"
        R"({{"symbol":"btc","event":"price"}}],"features":[)"
        R"({{"symbol":"eth","indicators":[{}]}},)"
        R"({{"symbol":"BTC","indicators":[{},{}]}},)"
        R"({{"symbol":"__global__","indicators":[)"
        R"({{"kind":"day_of_week","source":{{"type":"any_event"}}}}]}}]}})",
        FIELD,
        indicator("volatility", FIELD_SOURCE,
                  R"(,"warmup_policy":"first_value","outputs":[{"window":20},{"window":5}])"),
        FIELD);
    const auto spec = from_json(text);
    ASSERT_TRUE(spec.has_value()) << spec.error().message;
    const std::vector<FeatureId> ids = {
        "day_of_week:symbol=10:__global__:source=any_event",
        "field:symbol=3:btc:source=field.price",
        "volatility:symbol=3:btc:source=field.price:window=20:warmup=first_value",
        "volatility:symbol=3:btc:source=field.price:window=5:warmup=first_value",
        "field:symbol=3:eth:source=field.price",
    };
    EXPECT_EQ(spec->feature_ids(), ids);
    const auto again = from_json(*to_json(*spec));
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(*again, *spec);
}

}  // namespace
}  // namespace zelk
