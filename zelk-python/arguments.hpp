// Argument rules shared by the Python classes: raising core errors as
// ValueError, interning symbols, and the book value rules (exact decimal
// prices and sizes, book sides) used by OrderBookEvent and the order-book
// builder methods.
//
// Every function here either returns a valid value or throws a nanobind
// exception; none of them changes any object state except the process-wide
// symbol interner.
#pragma once

#include <nanobind/nanobind.h>

#include <string>
#include <string_view>
#include <utility>

#include "zelk/error.hpp"
#include "zelk/order_book/exact_decimal.hpp"
#include "zelk/order_book/side.hpp"
#include "zelk/types.hpp"

namespace zelk::python {

namespace nb = nanobind;

// Raises ValueError carrying `message` unchanged.
[[noreturn]] void raise_value_error(const std::string& message);
// Raises ValueError carrying the error's display text.
[[noreturn]] void raise(const ZelkError& error);

// The value of a core result, or ValueError with its error text.
template <typename T>
T unwrap(Result<T>&& result) {
    if (!result) raise(result.error());
    return std::move(*result);
}
inline void unwrap(Status&& status) {
    if (!status) raise(status.error());
}

// Interns `name` (ASCII lower-cased); the symbol limit raises ValueError.
Symbol intern_symbol(std::string_view name);

// A book price or size: exact parse ("invalid exact decimal: {error}"), then
// refuses negative values ("book prices and sizes must be nonnegative").
// Zero, with or without a sign, is accepted.
ExactDecimal parse_book_value(std::string_view text);

// "bid" or "ask", case-sensitive; anything else raises
// "book side must be bid or ask".
Side parse_book_side_argument(std::string_view text);

}  // namespace zelk::python
