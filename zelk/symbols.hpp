// Symbols: 16-bit handles into the process-wide interner.
//
// The interner is the only process-wide mutable state of the core. It holds at
// most 512 names, "__global__" (id 0) included, never forgets a name and never
// reuses an id. Names are ASCII-lower-cased on the way in. Every access takes
// one mutex, so symbols may be interned from any thread.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

#include "zelk/error.hpp"
#include "zelk/types.hpp"

namespace zelk {

inline constexpr size_t SYMBOL_LIMIT = 512;
inline constexpr std::string_view GLOBAL_SYMBOL_NAME = "__global__";

// Interns `name` (ASCII upper case folded to lower case). Re-interning a known
// name always succeeds; a new name beyond the 512th entry fails with
// LimitExceeded (target Symbols, count 513, limit 512) and stores nothing.
std::expected<Symbol, ZelkError> intern(std::string_view name);

// The stored (lower-cased) name. REQUIRES: `symbol` was issued by this process.
std::string resolve_as_string(Symbol symbol);

// "GLOBAL" for symbol 0, otherwise the interned name.
std::string display(Symbol symbol);

// Number of interned names, the global one included.
size_t interned_symbol_count();

}  // namespace zelk
