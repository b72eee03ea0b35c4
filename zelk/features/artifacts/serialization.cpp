#include "zelk/features/artifacts/serialization.hpp"

#include <array>

#include <fmt/format.h>

namespace zelk {

namespace {

constexpr std::array<std::pair<EventKind, std::string_view>, 6> EVENT_NAMES{{
    {EventKind::Price, "price"},
    {EventKind::Volume, "volume"},
    {EventKind::Trade, "trade"},
    {EventKind::OrderBookDelta, "order_book_delta"},
    {EventKind::OrderBookSnapshot, "order_book_snapshot"},
    {EventKind::Time, "time"},
}};

constexpr uint64_t MS_PER_SECOND = 1000;
constexpr uint64_t MS_PER_MINUTE = 60 * MS_PER_SECOND;
constexpr uint64_t MS_PER_HOUR = 60 * MS_PER_MINUTE;

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Decimal digits of `text` into `out`; false on anything else or overflow.
bool parse_digits(std::string_view text, uint64_t& out) {
    if (text.empty()) return false;
    uint64_t n = 0;
    for (char c : text) {
        if (!is_digit(c)) return false;
        const auto d = static_cast<uint64_t>(c - '0');
        if (n > (UINT64_MAX - d) / 10) return false;
        n = n * 10 + d;
    }
    out = n;
    return true;
}

}  // namespace

std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    out += fmt::format("\\u{{{:x}}}", c);
                } else {
                    out += ch;
                }
        }
    }
    out += '"';
    return out;
}

ArtifactResult<Duration> parse_duration(std::string_view text) {
    const auto refuse = [&] {
        return std::unexpected(ArtifactError{fmt::format(
            "invalid duration {}; expected a positive integer followed by ms, s, m, or h",
            quoted(text))});
    };
    size_t digits = 0;
    while (digits < text.size() && is_digit(text[digits])) ++digits;
    const std::string_view number = text.substr(0, digits);
    const std::string_view unit = text.substr(digits);
    uint64_t per_unit = 0;
    if (unit == "ms") {
        per_unit = 1;
    } else if (unit == "s") {
        per_unit = MS_PER_SECOND;
    } else if (unit == "m") {
        per_unit = MS_PER_MINUTE;
    } else if (unit == "h") {
        per_unit = MS_PER_HOUR;
    } else {
        return refuse();
    }
    uint64_t n = 0;
    if (number.empty() || number[0] == '0' || !parse_digits(number, n)) return refuse();
    if (n > UINT64_MAX / per_unit) return refuse();
    return Duration::from_millis(n * per_unit);
}

ArtifactResult<std::string> format_duration(Duration duration) {
    if (duration.nanos % 1'000'000 != 0 || (duration.seconds == 0 && duration.nanos == 0)) {
        return std::unexpected(ArtifactError{"durations must be positive whole milliseconds"});
    }
    const uint64_t part = duration.nanos / 1'000'000;
    if (duration.seconds > (UINT64_MAX - part) / MS_PER_SECOND) {
        return std::unexpected(ArtifactError{"duration exceeds the serialized range"});
    }
    const uint64_t ms = duration.seconds * MS_PER_SECOND + part;
    if (ms % MS_PER_HOUR == 0) return fmt::format("{}h", ms / MS_PER_HOUR);
    if (ms % MS_PER_MINUTE == 0) return fmt::format("{}m", ms / MS_PER_MINUTE);
    if (ms % MS_PER_SECOND == 0) return fmt::format("{}s", ms / MS_PER_SECOND);
    return fmt::format("{}ms", ms);
}

std::string_view event_name(EventKind kind) {
    for (const auto& [k, name] : EVENT_NAMES) {
        if (k == kind) return name;
    }
    return "";
}

ArtifactResult<EventKind> parse_event_name(std::string_view text) {
    for (const auto& [kind, name] : EVENT_NAMES) {
        if (name == text) return kind;
    }
    return std::unexpected(ArtifactError{fmt::format("unknown event kind {}", quoted(text))});
}

ArtifactResult<int64_t> parse_utc_offset(std::string_view text) {
    const auto refuse = [&] {
        return std::unexpected(ArtifactError{fmt::format("invalid UTC offset {}", quoted(text))});
    };
    std::string_view rest = text;
    if (rest.starts_with("UTC")) rest.remove_prefix(3);
    if (rest.empty()) return int64_t{0};
    const bool negative = rest[0] == '-';
    if (rest[0] != '+' && rest[0] != '-') return refuse();
    rest.remove_prefix(1);
    const size_t colon = rest.find(':');
    uint64_t hours = 0;
    uint64_t minutes = 0;
    if (!parse_digits(rest.substr(0, colon), hours)) return refuse();
    if (colon != std::string_view::npos && !parse_digits(rest.substr(colon + 1), minutes)) {
        return refuse();
    }
    if (hours > 14 || minutes > 59 || (hours == 14 && minutes != 0)) return refuse();
    const auto ms = static_cast<int64_t>(hours * MS_PER_HOUR + minutes * MS_PER_MINUTE);
    return negative ? -ms : ms;
}

std::string format_utc_offset(int64_t offset_ms) {
    const uint64_t magnitude =
        offset_ms < 0 ? uint64_t{0} - static_cast<uint64_t>(offset_ms) : uint64_t(offset_ms);
    return fmt::format("{}{:02}:{:02}", offset_ms < 0 ? '-' : '+', magnitude / MS_PER_HOUR,
                       magnitude % MS_PER_HOUR / MS_PER_MINUTE);
}

ArtifactResult<Side> parse_book_side(std::optional<std::string_view> text) {
    if (text) {
        if (auto side = parse_side(*text)) return *side;
    }
    return std::unexpected(ArtifactError{"order-book query requires side bid or ask"});
}

ArtifactError missing_book_parameter(std::string_view field) {
    return ArtifactError{fmt::format("order-book query requires {}", field)};
}

ArtifactResult<ExactDecimal> parse_book_decimal(std::string_view field, std::string_view text) {
    auto value = ExactDecimal::parse(text);
    if (!value) {
        return std::unexpected(ArtifactError{
            fmt::format("invalid order-book {}: {}", field, to_string(value.error()))});
    }
    return *value;
}

}  // namespace zelk
