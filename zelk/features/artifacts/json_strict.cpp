#include "zelk/features/artifacts/json_strict.hpp"

#include <fmt/format.h>

namespace zelk::json {

std::string describe_choices(std::span<const std::string_view> names) {
    switch (names.size()) {
        case 0:
            return "no fields";
        case 1:
            return fmt::format("`{}`", names[0]);
        case 2:
            return fmt::format("`{}` or `{}`", names[0], names[1]);
        default:
            break;
    }
    std::string text = "one of ";
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0) text += ", ";
        text += fmt::format("`{}`", names[i]);
    }
    return text;
}

Error invalid_type(const Value& value, std::string_view field, std::string_view expected) {
    return Error{fmt::format("invalid type for `{}`: expected {}, found {}", field, expected,
                             describe(value.type)),
                 value.position};
}

Read<Located<std::string>> read_string(const Value& value, std::string_view field) {
    if (value.type != Type::String) return std::unexpected(invalid_type(value, field, "a string"));
    return Located<std::string>{value.text, value.position};
}

Read<Located<uint64_t>> read_u64(const Value& value, std::string_view field) {
    if (value.type != Type::Number) {
        return std::unexpected(invalid_type(value, field, "an unsigned integer"));
    }
    const auto n = value.as_u64();
    if (!n) {
        return std::unexpected(Error{
            fmt::format("invalid value for `{}`: expected an unsigned 64-bit integer, found {}",
                        field, value.text),
            value.position});
    }
    return Located<uint64_t>{*n, value.position};
}

Read<std::span<const Value>> read_array(const Value& value, std::string_view field) {
    if (value.type != Type::Array) return std::unexpected(invalid_type(value, field, "an array"));
    return std::span<const Value>(value.items);
}

Read<Located<size_t>> read_variant(const Value& value, std::string_view field,
                                   std::span<const std::string_view> variants) {
    auto text = read_string(value, field);
    if (!text) return std::unexpected(text.error());
    for (size_t i = 0; i < variants.size(); ++i) {
        if (variants[i] == text->value) return Located<size_t>{i, value.position};
    }
    return std::unexpected(
        Error{fmt::format("unknown variant `{}` for `{}`, expected {}", printable(text->value),
                          field, describe_choices(variants)),
              value.position});
}

Read<StrictObject> StrictObject::open(const Value& value, std::string_view field,
                                      std::initializer_list<std::string_view> fields) {
    if (value.type != Type::Object) {
        return std::unexpected(invalid_type(value, field, "an object"));
    }
    const std::span<const std::string_view> allowed(fields.begin(), fields.size());
    for (const Member& member : value.members) {
        bool known = false;
        for (std::string_view name : allowed) known = known || name == member.name;
        if (!known) {
            return std::unexpected(
                Error{fmt::format("unknown field `{}`, expected {}", printable(member.name),
                                  describe_choices(allowed)),
                      member.position});
        }
    }
    return StrictObject(&value);
}

Read<const Value*> StrictObject::require(std::string_view name) const {
    if (const Value* v = find(name)) return v;
    return std::unexpected(Error{fmt::format("missing field `{}`", name), position()});
}

Read<Located<std::string>> StrictObject::string(std::string_view name) const {
    auto v = require(name);
    if (!v) return std::unexpected(v.error());
    return read_string(**v, name);
}

Read<std::optional<Located<std::string>>> StrictObject::optional_string(
    std::string_view name) const {
    const Value* v = find(name);
    if (v == nullptr) return std::optional<Located<std::string>>{};
    auto s = read_string(*v, name);
    if (!s) return std::unexpected(s.error());
    return std::optional<Located<std::string>>{std::move(*s)};
}

Read<Located<uint64_t>> StrictObject::u64(std::string_view name) const {
    auto v = require(name);
    if (!v) return std::unexpected(v.error());
    return read_u64(**v, name);
}

Read<std::optional<Located<uint64_t>>> StrictObject::optional_u64(std::string_view name) const {
    const Value* v = find(name);
    if (v == nullptr) return std::optional<Located<uint64_t>>{};
    auto n = read_u64(*v, name);
    if (!n) return std::unexpected(n.error());
    return std::optional<Located<uint64_t>>{*n};
}

}  // namespace zelk::json
