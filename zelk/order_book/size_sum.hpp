// SizeSum: a running total of level sizes.
//
// The total starts from the first size rather than from a zero of scale 0.
// While every size added has the first one's scale (a feed writes its sizes
// with a fixed number of decimals), the total is a bare 128-bit coefficient
// at that scale: one integer addition per level, with the decimal built only
// when the total is read. The first size at another scale, or a sum beyond
// the coefficient range, moves the total to general decimal addition, which
// gives the same value checked_add would have given all along.
#pragma once

#include "zelk/order_book/exact_decimal.hpp"

namespace zelk {

class SizeSum {
public:
    // Adds `size`; false when the total would leave the decimal range (the
    // total is then unchanged).
    bool add(const ExactDecimal& size) {
        if (!general_ && !size.sign_negative() && (empty_ || size.scale() == scale_)) {
            const u128 sum = coefficient_ + size.coefficient();
            if (sum <= ExactDecimal::MAX_COEFFICIENT) {
                coefficient_ = sum;
                scale_ = size.scale();
                empty_ = false;
                return true;
            }
        }
        return add_general(size);
    }

    // The total; zero when nothing was added.
    ExactDecimal value() const {
        if (general_) return total_;
        return *ExactDecimal::from_parts(coefficient_, scale_, false);
    }

private:
    bool add_general(const ExactDecimal& size) {
        if (empty_) {
            total_ = size;
        } else {
            const auto sum = value().checked_add(size);
            if (!sum) return false;
            total_ = *sum;
        }
        empty_ = false;
        general_ = true;
        return true;
    }

    u128 coefficient_ = 0;
    uint32_t scale_ = 0;
    bool empty_ = true;
    bool general_ = false;  // total_ holds the total
    ExactDecimal total_;
};

}  // namespace zelk
