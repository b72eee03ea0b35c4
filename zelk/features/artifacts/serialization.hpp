// Text forms shared by the JSON artifacts: durations, UTC offsets, event
// names, book sides and book decimals, each with its parse and its refusal
// message. Messages here carry no position; the readers add it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "zelk/duration.hpp"
#include "zelk/features/artifacts/artifact_error.hpp"
#include "zelk/order_book/exact_decimal.hpp"
#include "zelk/order_book/side.hpp"
#include "zelk/types.hpp"

namespace zelk {

// `text` in double quotes, with quote, backslash and control characters
// escaped (\" \\ \n \r \t, others as \u{1b}); non-ASCII is kept.
std::string quoted(std::string_view text);

// A positive integer without leading zeros followed by exactly one unit,
// "ms", "s", "m" or "h": 500ms, 1s, 5m, 1h. Nothing else is accepted (no
// sign, blanks, fraction or zero); a value whose milliseconds overflow 64
// bits is refused. Error: "invalid duration {text}; expected a positive
// integer followed by ms, s, m, or h", the text quoted.
ArtifactResult<Duration> parse_duration(std::string_view text);

// The duration in the largest unit (h, m, s, ms) in which it is whole: 90 s
// gives 90s, 120 s gives 2m, 1500 ms gives 1500ms. Errors: "durations must
// be positive whole milliseconds" (zero, or a sub-millisecond part) and
// "duration exceeds the serialized range" (milliseconds beyond 64 bits).
ArtifactResult<std::string> format_duration(Duration duration);

// "price", "volume", "trade", "order_book_delta", "order_book_snapshot", "time".
std::string_view event_name(EventKind kind);
// Error: "unknown event kind {text}", quoted.
ArtifactResult<EventKind> parse_event_name(std::string_view text);

// Offset in milliseconds from an optional "UTC" prefix and then either
// nothing (offset 0) or a sign, decimal hours and optionally ":" and
// decimal minutes: UTC, UTC+3, +03:00, -5:30. Hours at most 14, minutes at
// most 59, 14 hours only with 0 minutes. Error: "invalid UTC offset {text}",
// quoted.
ArtifactResult<int64_t> parse_utc_offset(std::string_view text);

// Sign, two-digit hours, ":" and two-digit minutes: +03:00, -05:30, +00:00.
// REQUIRES: a whole number of minutes within 99 hours either way (the
// compiler's UTC offset checks guarantee both).
std::string format_utc_offset(int64_t offset_ms);

// "bid" or "ask", exactly; absent or anything else fails with
// "order-book query requires side bid or ask".
ArtifactResult<Side> parse_book_side(std::optional<std::string_view> text);

// "order-book query requires {field}".
ArtifactError missing_book_parameter(std::string_view field);

// The exact parse of a book price, size or grid value. Error: "invalid
// order-book {field}: {reason}" with the decimal parser's own text.
ArtifactResult<ExactDecimal> parse_book_decimal(std::string_view field, std::string_view text);

}  // namespace zelk
