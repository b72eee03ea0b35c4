// ArtifactError: why a JSON artifact could not be read or written.
//
// Artifact messages are plain texts, quoted exactly in the format's
// documentation, rather than ZelkError cases; a core failure met on the way
// (an invalid key, a refused spec) is carried as the ZelkError's own text.
// Messages raised while reading end with " at line {line} column {column}".
#pragma once

#include <expected>
#include <string>

#include "zelk/features/artifacts/json_error.hpp"

namespace zelk {

struct ArtifactError {
    std::string message;
    friend bool operator==(const ArtifactError&, const ArtifactError&) = default;
};

template <typename T>
using ArtifactResult = std::expected<T, ArtifactError>;

// `message` with the position suffix of `position`.
inline ArtifactError located(std::string message, json::Position position) {
    return ArtifactError{json::Error{std::move(message), position}.to_string()};
}
inline ArtifactError located(const json::Error& error) {
    return ArtifactError{error.to_string()};
}

}  // namespace zelk
