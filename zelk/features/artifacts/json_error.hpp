// A failure found while reading a JSON document, with where it was found.
#pragma once

#include <string>
#include <string_view>

#include <fmt/format.h>

#include "zelk/features/artifacts/json_value.hpp"

namespace zelk::json {

// `text` with control characters escaped (\n, \t, \u{1b}, ...), so that a
// name taken from a document keeps a message on one line.
inline std::string printable(std::string_view text) {
    std::string out;
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c < 0x20 || c == 0x7F) {
            out += fmt::format("\\u{{{:x}}}", c);
        } else {
            out += ch;
        }
    }
    return out;
}

struct Error {
    std::string message;  // without the position
    Position position;

    // "{message} at line {line} column {column}".
    std::string to_string() const {
        return fmt::format("{} at line {} column {}", message, position.line, position.column);
    }
    friend bool operator==(const Error&, const Error&) = default;
};

}  // namespace zelk::json
