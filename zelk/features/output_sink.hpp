// OutputSink: where a derivation writes its cells during one event.
//
// Writing a cell stores the value and sets the cell's update-mask byte, so a
// derivation can never write a value without marking it. Cells a derivation
// does not write keep their value and mask byte 0.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zelk {

class OutputSink {
public:
    // REQUIRES: both arrays outlive the sink and hold every cell written.
    OutputSink(double* values, uint8_t* mask) : values_(values), mask_(mask) {}

    void write(size_t cell, double value) {
        values_[cell] = value;
        mask_[cell] = 1;
    }

private:
    double* values_;
    uint8_t* mask_;
};

}  // namespace zelk
