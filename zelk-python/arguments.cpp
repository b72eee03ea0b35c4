#include "zelk-python/arguments.hpp"

#include "zelk/symbols.hpp"

namespace zelk::python {

void raise_value_error(const std::string& message) { throw nb::value_error(message.c_str()); }

void raise(const ZelkError& error) { raise_value_error(to_string(error)); }

Symbol intern_symbol(std::string_view name) { return unwrap(intern(name)); }

ExactDecimal parse_book_value(std::string_view text) {
    auto parsed = ExactDecimal::parse(text);
    if (!parsed) raise_value_error("invalid exact decimal: " + to_string(parsed.error()));
    if (parsed->is_negative()) raise_value_error("book prices and sizes must be nonnegative");
    return *parsed;
}

Side parse_book_side_argument(std::string_view text) {
    if (auto side = parse_side(text)) return *side;
    raise_value_error("book side must be bid or ask");
}

}  // namespace zelk::python
