// The feature-extractor spec as a strict, versioned JSON artifact ("2.0").
//
// The document groups outputs the way the compiler does: one feature group
// per symbol (global first, then by name), one indicator per group key, one
// output per member. Writing is deterministic; reading rebuilds the same
// definitions (keys, IDs, canonical order), capacity, checksum and order
// books, and refuses anything it does not fully understand. Nothing is fixed
// silently and no partial spec is ever returned.
#pragma once

#include <string>
#include <string_view>

#include "zelk/features/artifacts/artifact_error.hpp"
#include "zelk/features/spec.hpp"

namespace zelk {

// The only version this reader accepts and this writer produces.
inline constexpr std::string_view FEATURE_EXTRACTOR_SPEC_VERSION = "2.0";

// The artifact text of `spec`: two-space indentation, members in the
// artifact's order. Fails when a definition is refused by the compiler's
// key validation (the ZelkError text), when a book kind sits on the global
// symbol, when a duration cannot be written, or when a scalar group holds
// two outputs.
ArtifactResult<std::string> to_json(const FeatureExtractorSpec& spec);

// The spec an artifact describes. Every refusal names what is wrong and ends
// with " at line {line} column {column}" of the offending value (of the
// object for a missing member, of the member name for an unknown or
// duplicate one). Interns the symbols the document names.
ArtifactResult<FeatureExtractorSpec> from_json(std::string_view text);

}  // namespace zelk
