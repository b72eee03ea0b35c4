// JSON values that remember where they came from.
//
// A Value is a plain tree: the reader (json_reader.hpp) fills in the position
// of every value and member name so that later checks can point at the
// offending text; values built for writing leave positions at their default.
// Numbers keep the literal exactly as written, so no precision is lost before
// a typed accessor decides what the number may be. Object members keep
// document order; the reader guarantees their names are unique.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelk::json {

// 1-based line and column of the first character of a value or member name.
// Columns count characters (UTF-8 code points), not bytes.
struct Position {
    uint32_t line = 1;
    uint32_t column = 1;
    friend bool operator==(const Position&, const Position&) = default;
};

enum class Type : uint8_t { Null, Bool, Number, String, Array, Object };

// "null", "a boolean", "a number", "a string", "an array", "an object".
std::string_view describe(Type type);

struct Member;

struct Value {
    Type type = Type::Null;
    Position position;
    bool boolean = false;
    std::string text;             // String: the decoded contents; Number: the literal
    std::vector<Value> items;     // Array elements
    std::vector<Member> members;  // Object members, in document order

    static Value null();
    static Value from_bool(bool b);
    static Value from_string(std::string s);
    static Value from_u64(uint64_t n);
    // Shortest text that reads back to the same double; integral values keep
    // a ".0" so they still read as floats. nullopt for NaN and infinities,
    // which JSON cannot express.
    static std::optional<Value> from_double(double d);
    static Value array();
    static Value object();

    // Appends a member (objects) or an element (arrays). Building code is
    // responsible for member names being unique.
    Value& add(std::string name, Value value);
    Value& push(Value value);

    // The member called `name`, or nullptr. REQUIRES: type == Object.
    const Value* find(std::string_view name) const;

    // The number as an unsigned 64-bit integer: only plain digit literals
    // (no sign, fraction or exponent) that fit. nullopt otherwise.
    std::optional<uint64_t> as_u64() const;
    // The number as the nearest double; nullopt when not a number or when the
    // literal is outside the double range.
    std::optional<double> as_double() const;
};

struct Member {
    std::string name;
    Position position;  // of the opening quote of the name
    Value value;
};

}  // namespace zelk::json
