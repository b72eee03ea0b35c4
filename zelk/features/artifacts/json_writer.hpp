// Deterministic pretty JSON text.
//
// The layout is fixed so that one Value always produces the same bytes: two
// spaces per nesting level, one member or element per line, "key": value with
// one space after the colon, empty arrays and objects as [] and {}, no
// trailing newline. Strings keep non-ASCII characters as UTF-8 and escape
// only what JSON requires (quote, backslash, control characters).
#pragma once

#include <expected>
#include <string>

#include "zelk/features/artifacts/json_value.hpp"

namespace zelk::json {

// The pretty text of `value`, or a message when a string (member name or
// value) is not valid UTF-8 or a number literal is not valid JSON; both can
// only come from values built in code, never from parsed ones.
std::expected<std::string, std::string> write_pretty(const Value& value);

}  // namespace zelk::json
