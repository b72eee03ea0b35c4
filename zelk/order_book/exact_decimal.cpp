#include "zelk/order_book/exact_decimal.hpp"

namespace zelk {

namespace {

std::string digits_of(u128 value) {
    if (value == 0) return "0";
    char buffer[40];
    int pos = 40;
    while (value != 0) {
        buffer[--pos] = static_cast<char>('0' + static_cast<int>(value % 10));
        value /= 10;
    }
    return std::string(buffer + pos, buffer + 40);
}

}  // namespace

std::string ExactDecimal::to_string() const {
    std::string digits = digits_of(coefficient());
    if (scale_ > 0 && digits.size() <= scale_) {
        digits.insert(0, scale_ - digits.size() + 1, '0');
    }
    std::string text;
    if (negative_ && !is_zero()) text += '-';
    if (scale_ == 0) return text + digits;
    const size_t int_len = digits.size() - scale_;
    text.append(digits, 0, int_len);
    text += '.';
    text.append(digits, int_len, std::string::npos);
    return text;
}

std::string ExactDecimal::to_normalized_string() const { return normalized().to_string(); }

ExactDecimal ExactDecimal::normalized() const {
    ExactDecimal d = *this;
    u128 c = coefficient();
    uint32_t s = scale_;
    while (s > 0 && c % 10 == 0) {
        c /= 10;
        --s;
    }
    d.lo_ = static_cast<uint64_t>(c);
    d.hi_ = static_cast<uint32_t>(c >> 64);
    d.scale_ = static_cast<uint8_t>(s);
    if (c == 0) d.negative_ = false;
    return d;
}

}  // namespace zelk
