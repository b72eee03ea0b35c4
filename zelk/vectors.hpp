// VecFeatureVector: the flat array of 64-bit floats that holds an extractor's
// raw outputs (and a pipeline's final outputs).
//
// The first active_length() cells are configured outputs; the cells from
// active_length() to capacity() - 1 are reserved trailing cells that nothing
// writes. Storage is allocated once; no operation allocates afterwards.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

namespace zelk {

class VecFeatureVector {
public:
    // All cells start at 0.0 (the extractor then sets them to NaN).
    // REQUIRES: active_length <= capacity; the spec layer reports the
    // user-facing case as FeatureVectorCapacityTooSmall before calling.
    static VecFeatureVector new_of_length(size_t capacity, size_t active_length) {
        if (active_length > capacity) {
            std::fputs("assertion failed: length <= capacity\n", stderr);
            std::abort();
        }
        return VecFeatureVector(capacity, active_length);
    }

    // REQUIRES: index < capacity().
    void set_value_at(size_t index, double value) { values_[index] = value; }
    void fill(double value) { std::fill(values_.begin(), values_.end(), value); }

    // All capacity() cells, reserved ones included.
    std::span<const double> values() const { return values_; }
    double* data() { return values_.data(); }
    size_t capacity() const { return values_.size(); }
    size_t active_length() const { return active_length_; }

private:
    VecFeatureVector(size_t capacity, size_t active_length)
        : values_(capacity, 0.0), active_length_(active_length) {}

    std::vector<double> values_;
    size_t active_length_;
};

}  // namespace zelk
