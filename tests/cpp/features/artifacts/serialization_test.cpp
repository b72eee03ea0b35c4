#include "zelk/features/artifacts/serialization.hpp"

#include <string>

#include <gtest/gtest.h>

namespace zelk {
namespace {

std::string duration_message(std::string_view quoted_text) {
    return "invalid duration " + std::string(quoted_text) +
           "; expected a positive integer followed by ms, s, m, or h";
}

TEST(JsonSerialization, ParsesDurationsInEachUnit) {
    EXPECT_EQ(parse_duration("500ms"), Duration::from_millis(500));
    EXPECT_EQ(parse_duration("1500ms"), Duration::from_millis(1500));
    EXPECT_EQ(parse_duration("1s"), Duration::from_millis(1000));
    EXPECT_EQ(parse_duration("5m"), Duration::from_millis(300'000));
    EXPECT_EQ(parse_duration("1h"), Duration::from_millis(3'600'000));
    EXPECT_EQ(parse_duration("18446744073709551615ms"),
              Duration::from_millis(18446744073709551615u));
}

TEST(JsonSerialization, RefusesMalformedDurations) {
    const std::pair<std::string, std::string> cases[] = {
        {"0s", R"("0s")"},
        {"05s", R"("05s")"},
        {"1.5s", R"("1.5s")"},
        {" 1s", R"(" 1s")"},
        {"1s ", R"("1s ")"},
        {"1sec", R"("1sec")"},
        {"-1s", R"("-1s")"},
        {"+1s", R"("+1s")"},
        {"1", R"("1")"},
        {"s", R"("s")"},
        {"", R"("")"},
        {"1S", R"("1S")"},
        {"1ms1s", R"("1ms1s")"},
        {"1d", R"("1d")"},
        {"1 s", R"("1 s")"},
        // Overflow of the digits, and of the milliseconds after the unit.
        {"18446744073709551616ms", R"("18446744073709551616ms")"},
        {"5124095576030432h", R"("5124095576030432h")"},
        {"a\"b", R"("a\"b")"},
    };
    for (const auto& [text, shown] : cases) {
        const auto d = parse_duration(text);
        ASSERT_FALSE(d.has_value()) << text;
        EXPECT_EQ(d.error().message, duration_message(shown)) << text;
    }
}

TEST(JsonSerialization, FormatsDurationsInTheLargestWholeUnit) {
    const std::pair<uint64_t, std::string> cases[] = {
        {1, "1ms"},        {1500, "1500ms"},     {1000, "1s"},       {90'000, "90s"},
        {60'000, "1m"},    {120'000, "2m"},      {5'400'000, "90m"}, {3'600'000, "1h"},
        {7'200'000, "2h"}, {3'601'000, "3601s"},
    };
    for (const auto& [ms, text] : cases) {
        EXPECT_EQ(format_duration(Duration::from_millis(ms)), text) << ms;
        EXPECT_EQ(parse_duration(text), Duration::from_millis(ms)) << text;
    }
    // The largest representable millisecond count still formats.
    EXPECT_EQ(format_duration(Duration{18446744073709551, 615'000'000}), "18446744073709551615ms");
}

TEST(JsonSerialization, RefusesUnwritableDurations) {
    const std::string positive = "durations must be positive whole milliseconds";
    EXPECT_EQ(format_duration(Duration{0, 0}).error().message, positive);
    EXPECT_EQ(format_duration(Duration{1, 500}).error().message, positive);
    EXPECT_EQ(format_duration(Duration{0, 250'000}).error().message, positive);
    const std::string range = "duration exceeds the serialized range";
    EXPECT_EQ(format_duration(Duration{18446744073709551, 616'000'000}).error().message, range);
    EXPECT_EQ(format_duration(Duration{UINT64_MAX, 0}).error().message, range);
}

TEST(JsonSerialization, EventNamesRoundTrip) {
    const EventKind kinds[] = {EventKind::Price,
                               EventKind::Volume,
                               EventKind::Trade,
                               EventKind::OrderBookDelta,
                               EventKind::OrderBookSnapshot,
                               EventKind::Time};
    const std::string_view names[] = {
        "price", "volume", "trade", "order_book_delta", "order_book_snapshot", "time"};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(event_name(kinds[i]), names[i]);
        EXPECT_EQ(parse_event_name(names[i]), kinds[i]);
    }
    EXPECT_EQ(parse_event_name("Price").error().message, R"(unknown event kind "Price")");
    EXPECT_EQ(parse_event_name("order book delta").error().message,
              R"(unknown event kind "order book delta")");
}

TEST(JsonSerialization, ParsesUtcOffsets) {
    const std::pair<std::string, int64_t> cases[] = {
        {"", 0},
        {"UTC", 0},
        {"UTC+3", 3 * 3'600'000},
        {"+03:00", 3 * 3'600'000},
        {"-05:30", -(5 * 3'600'000 + 30 * 60'000)},
        {"+0:45", 45 * 60'000},
        {"UTC-14", -14 * 3'600'000},
        {"+14:00", 14 * 3'600'000},
        {"+13:59", 13 * 3'600'000 + 59 * 60'000},
        {"-00:00", 0},
    };
    for (const auto& [text, ms] : cases) EXPECT_EQ(parse_utc_offset(text), ms) << text;
}

TEST(JsonSerialization, RefusesMalformedUtcOffsets) {
    const std::pair<std::string, std::string> cases[] = {
        {"+14:30", R"("+14:30")"},
        {"+15", R"("+15")"},
        {"+3:60", R"("+3:60")"},
        {"3", R"("3")"},
        {"UTC3", R"("UTC3")"},
        {"utc+3", R"("utc+3")"},
        {"+", R"("+")"},
        {"+:30", R"("+:30")"},
        {"+3:", R"("+3:")"},
        {"+3:0:0", R"("+3:0:0")"},
        {" +3", R"(" +3")"},
        {"+3 ", R"("+3 ")"},
        {"+-3", R"("+-3")"},
        {"UTCUTC", R"("UTCUTC")"},
        {"+99999999999999999999", R"("+99999999999999999999")"},
    };
    for (const auto& [text, shown] : cases) {
        const auto offset = parse_utc_offset(text);
        ASSERT_FALSE(offset.has_value()) << text;
        EXPECT_EQ(offset.error().message, "invalid UTC offset " + shown) << text;
    }
}

TEST(JsonSerialization, FormatsUtcOffsets) {
    EXPECT_EQ(format_utc_offset(3 * 3'600'000), "+03:00");
    EXPECT_EQ(format_utc_offset(-(5 * 3'600'000 + 30 * 60'000)), "-05:30");
    EXPECT_EQ(format_utc_offset(0), "+00:00");
    EXPECT_EQ(format_utc_offset(-14 * 3'600'000), "-14:00");
    EXPECT_EQ(parse_utc_offset(format_utc_offset(-(9 * 3'600'000 + 45 * 60'000))),
              -(9 * 3'600'000 + 45 * 60'000));
}

TEST(JsonSerialization, BookSidesAndDecimals) {
    EXPECT_EQ(parse_book_side("bid"), Side::Bid);
    EXPECT_EQ(parse_book_side("ask"), Side::Ask);
    const std::string side = "order-book query requires side bid or ask";
    EXPECT_EQ(parse_book_side("Bid").error().message, side);
    EXPECT_EQ(parse_book_side(std::nullopt).error().message, side);
    EXPECT_EQ(missing_book_parameter("tick_size").message, "order-book query requires tick_size");
    EXPECT_EQ(parse_book_decimal("price", "100.50")->to_string(), "100.50");
    EXPECT_EQ(parse_book_decimal("price", "1e5").error().message,
              "invalid order-book price: Invalid decimal: unknown character");
    EXPECT_EQ(parse_book_decimal("to_price", "").error().message,
              "invalid order-book to_price: Invalid decimal: empty");
}

TEST(JsonSerialization, QuotesLikeADebugString) {
    EXPECT_EQ(quoted("btc"), R"("btc")");
    EXPECT_EQ(quoted("a\"b\\c\n\t\x1b"
                     "é"),
              "\"a\\\"b\\\\c\\n\\t\\u{1b}é\"");
}

}  // namespace
}  // namespace zelk
