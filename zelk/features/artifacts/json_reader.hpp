// Strict JSON text reader.
//
// Accepts exactly the JSON grammar (RFC 8259) in UTF-8 and builds a Value
// tree that records the position of every value and member name. Beyond the
// grammar it refuses duplicate member names within one object, invalid UTF-8,
// unpaired UTF-16 surrogate escapes and nesting deeper than MAX_DEPTH, so a
// hostile document can neither exhaust the stack nor hide a second value for
// a field. Thread-safe: no shared state.
#pragma once

#include <expected>
#include <string_view>

#include "zelk/features/artifacts/json_error.hpp"
#include "zelk/features/artifacts/json_value.hpp"

namespace zelk::json {

// Arrays and objects may nest at most this deep.
inline constexpr int MAX_DEPTH = 128;

// Parses one complete document; only whitespace may follow the value. The
// error position points at the offending character (for a duplicate member,
// at the second occurrence of its name).
std::expected<Value, Error> parse(std::string_view text);

}  // namespace zelk::json
