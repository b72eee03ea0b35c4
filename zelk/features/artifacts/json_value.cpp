#include "zelk/features/artifacts/json_value.hpp"

#include <charconv>
#include <cmath>
#include <system_error>

namespace zelk::json {

std::string_view describe(Type type) {
    switch (type) {
        case Type::Null:
            return "null";
        case Type::Bool:
            return "a boolean";
        case Type::Number:
            return "a number";
        case Type::String:
            return "a string";
        case Type::Array:
            return "an array";
        case Type::Object:
            return "an object";
    }
    return "a value";
}

Value Value::null() {
    return Value{};
}

Value Value::from_bool(bool b) {
    Value v;
    v.type = Type::Bool;
    v.boolean = b;
    return v;
}

Value Value::from_string(std::string s) {
    Value v;
    v.type = Type::String;
    v.text = std::move(s);
    return v;
}

Value Value::from_u64(uint64_t n) {
    Value v;
    v.type = Type::Number;
    v.text = std::to_string(n);
    return v;
}

std::optional<Value> Value::from_double(double d) {
    if (!std::isfinite(d)) return std::nullopt;
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, d);
    if (ec != std::errc{}) return std::nullopt;
    std::string literal(buffer, end);
    if (literal.find_first_of(".e") == std::string::npos) literal += ".0";
    Value v;
    v.type = Type::Number;
    v.text = std::move(literal);
    return v;
}

Value Value::array() {
    Value v;
    v.type = Type::Array;
    return v;
}

Value Value::object() {
    Value v;
    v.type = Type::Object;
    return v;
}

Value& Value::add(std::string name, Value value) {
    members.push_back(Member{std::move(name), {}, std::move(value)});
    return members.back().value;
}

Value& Value::push(Value value) {
    items.push_back(std::move(value));
    return items.back();
}

const Value* Value::find(std::string_view name) const {
    for (const Member& m : members) {
        if (m.name == name) return &m.value;
    }
    return nullptr;
}

std::optional<uint64_t> Value::as_u64() const {
    if (type != Type::Number || text.empty()) return std::nullopt;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
    }
    uint64_t n = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return n;
}

std::optional<double> Value::as_double() const {
    if (type != Type::Number) return std::nullopt;
    double d = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), d);
    if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return d;
}

}  // namespace zelk::json
