// Strict, typed reading of JSON values.
//
// Artifact readers describe each object by the member names it may hold and
// then take members out with the type they must have. Every refusal names
// the field and carries the position of the offending text:
//   missing field `f`                                  (at the object)
//   unknown field `f`, expected one of `a`, `b`        (at the member name)
//   invalid type for `f`: expected a string, found a number      (at the value)
//   invalid value for `f`: expected an unsigned 64-bit integer, found -1
//   unknown variant `x` for `f`, expected `a` or `b`
// Null is a value like any other: an optional member that is present must
// have its type, so `"checksum": null` is refused rather than read as absent.
#pragma once

#include <cstdint>
#include <expected>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "zelk/features/artifacts/json_error.hpp"
#include "zelk/features/artifacts/json_value.hpp"

namespace zelk::json {

template <typename T>
using Read = std::expected<T, Error>;

// A value taken from a document, with where it stood.
template <typename T>
struct Located {
    T value;
    Position position;
};

// "`a`", "`a` or `b`", "one of `a`, `b`, `c`" (empty: "no fields").
std::string describe_choices(std::span<const std::string_view> names);

Error invalid_type(const Value& value, std::string_view field, std::string_view expected);

// Typed checks of one value; `field` names it in messages (for an array
// element, the array's field).
Read<Located<std::string>> read_string(const Value& value, std::string_view field);
Read<Located<uint64_t>> read_u64(const Value& value, std::string_view field);
Read<std::span<const Value>> read_array(const Value& value, std::string_view field);
// The index of the string among `variants`.
Read<Located<size_t>> read_variant(const Value& value, std::string_view field,
                                   std::span<const std::string_view> variants);

// An object whose member names have been checked against a fixed list.
// Holds a pointer into the Value it was opened on, which must outlive it.
class StrictObject {
  public:
    // Refuses a non-object (naming `field`) and any member not in `fields`.
    static Read<StrictObject> open(const Value& value, std::string_view field,
                                   std::initializer_list<std::string_view> fields);

    Position position() const { return value_->position; }
    // The member's value, or nullptr when absent.
    const Value* find(std::string_view name) const { return value_->find(name); }
    // The member's value, or "missing field".
    Read<const Value*> require(std::string_view name) const;

    Read<Located<std::string>> string(std::string_view name) const;
    Read<std::optional<Located<std::string>>> optional_string(std::string_view name) const;
    Read<Located<uint64_t>> u64(std::string_view name) const;
    Read<std::optional<Located<uint64_t>>> optional_u64(std::string_view name) const;

  private:
    explicit StrictObject(const Value* value) : value_(value) {}
    const Value* value_;
};

}  // namespace zelk::json
