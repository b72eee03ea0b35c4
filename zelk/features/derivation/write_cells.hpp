// Writing a windowed derivation's cells: cell i gets the value of window (or
// lag) i, or NaN when the derivation has fewer windows than cells, and every
// cell is marked in the update mask.
#pragma once

#include <cstddef>
#include <limits>

#include "zelk/features/output_sink.hpp"

namespace zelk {

// Writes cells first .. first + count - 1; `value_of(i)` is asked only for
// i < outputs.
template <typename ValueOf>
inline void write_cells(OutputSink& sink, size_t first, size_t count, size_t outputs,
                        ValueOf&& value_of) {
    for (size_t i = 0; i < count; ++i) {
        sink.write(first + i,
                   i < outputs ? value_of(i) : std::numeric_limits<double>::quiet_NaN());
    }
}

}  // namespace zelk
