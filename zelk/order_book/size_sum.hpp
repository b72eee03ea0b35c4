// SizeSum: a running total of level sizes.
//
// The total starts from the first size rather than from a zero of scale 0,
// so that summing sizes written at one scale stays on the decimal type's
// same-scale fast path from the first addition on. The value is the same.
#pragma once

#include "zelk/order_book/exact_decimal.hpp"

namespace zelk {

class SizeSum {
public:
    // Adds `size`; false when the total would leave the decimal range (the
    // total is then unchanged).
    bool add(const ExactDecimal& size) {
        if (empty_) {
            total_ = size;
            empty_ = false;
            return true;
        }
        const auto sum = total_.checked_add(size);
        if (!sum) return false;
        total_ = *sum;
        return true;
    }
    // The total; zero when nothing was added.
    const ExactDecimal& value() const { return total_; }

private:
    ExactDecimal total_;
    bool empty_ = true;
};

}  // namespace zelk
