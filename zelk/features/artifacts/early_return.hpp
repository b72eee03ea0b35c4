// Early returns shared by the artifact readers: ZELK_TRY unwraps a result or
// returns its error, and fail() returns a message placed at a position.
// Include from sources only: ZELK_TRY is a macro.
#pragma once

#include <expected>
#include <string>
#include <utility>

#include "zelk/features/artifacts/artifact_error.hpp"
#include "zelk/features/artifacts/json_error.hpp"

// Evaluates `expr` (a std::expected); on failure returns its error from the
// enclosing function, else declares `var` holding the moved value.
#define ZELK_TRY(var, expr)                                      \
    auto var##_read = (expr);                                    \
    if (!var##_read) return std::unexpected(var##_read.error()); \
    auto var = std::move(*var##_read)

namespace zelk::artifact {

// The failure `message` at `position` (with the position suffix).
inline std::unexpected<ArtifactError> fail(std::string message, json::Position position) {
    return std::unexpected(located(std::move(message), position));
}

}  // namespace zelk::artifact
