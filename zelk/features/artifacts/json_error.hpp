// A failure found while reading a JSON document, with where it was found.
#pragma once

#include <string>

#include <fmt/format.h>

#include "zelk/features/artifacts/json_value.hpp"

namespace zelk::json {

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
