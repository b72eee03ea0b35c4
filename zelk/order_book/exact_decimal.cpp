#include "zelk/order_book/exact_decimal.hpp"

#include <array>
#include <bit>
#include <cmath>
#include <limits>

#include <fmt/format.h>

#include "zelk/order_book/wide_uint.hpp"

namespace zelk {

namespace {

// Wide enough for a 96-bit coefficient times 10^56 during scale alignment,
// for the product of two coefficients, and for a dividend scaled up by the
// quotient's scale.
using Wide = detail::WideUint<4>;

constexpr uint32_t MAX_SCALE = ExactDecimal::MAX_SCALE;
constexpr u128 MAX_COEFFICIENT = ExactDecimal::MAX_COEFFICIENT;

constexpr std::array<uint64_t, 20> POW10_U64 = [] {
    std::array<uint64_t, 20> table{};
    uint64_t p = 1;
    for (auto& entry : table) {
        entry = p;
        p *= 10;
    }
    return table;
}();

// 10^0 .. 10^38, every power that fits in 128 bits.
constexpr std::array<u128, 39> POW10_U128 = [] {
    std::array<u128, 39> table{};
    u128 p = 1;
    for (auto& entry : table) {
        entry = p;
        p *= 10;
    }
    return table;
}();

// The double nearest to 10^s for every scale. For these scales this is also
// exactly what binary powering in doubles (square and multiply) produces.
constexpr std::array<double, MAX_SCALE + 1> POW10_F64 = [] {
    std::array<double, MAX_SCALE + 1> table{};
    for (size_t s = 0; s < table.size(); ++s) table[s] = static_cast<double>(POW10_U128[s]);
    return table;
}();

// value *= 10^exponent. REQUIRES the result to fit.
void scale_up(Wide& value, uint32_t exponent) {
    while (exponent > 19) {
        value.mul_u64(POW10_U64[19]);
        exponent -= 19;
    }
    if (exponent > 0) value.mul_u64(POW10_U64[exponent]);
}

}  // namespace

std::string to_string(const DecimalParseError& error) {
    using Kind = DecimalParseError::Kind;
    switch (error.kind) {
        case Kind::Empty:
            return "Invalid decimal: empty";
        case Kind::TwoDecimalPoints:
            return "Invalid decimal: two decimal points";
        case Kind::LeadingUnderscore:
            return "Invalid decimal: must start lead with a number";
        case Kind::UnknownCharacter:
            return "Invalid decimal: unknown character";
        case Kind::TooManyDigits:
            return "Invalid decimal: overflow from too many digits";
        case Kind::NoDigits:
            return "Invalid decimal: no digits found";
        case Kind::ExceedsMaximum:
            return "Number exceeds maximum value that can be represented.";
        case Kind::LessThanMinimum:
            return "Number less than minimum value that can be represented.";
        case Kind::PrecisionTooHigh:
            return "Number has a high precision that can not be represented.";
        case Kind::ScaleTooLarge:
            return fmt::format("Scale exceeds the maximum precision allowed: {} > {}", error.scale,
                               MAX_SCALE);
    }
    return "Invalid decimal: unknown error";
}

// Syntax errors are reported in text order, before any value error. Value
// errors, in order of precedence:
//   - integer part of 2^96 or more: ExceedsMaximum / LessThanMinimum by sign;
//   - more than 28 fraction digits: ScaleTooLarge (the scale is kept, so it
//     cannot be reduced even when the extra digits are zeros);
//   - digits that overflow the coefficient: TooManyDigits when only trailing
//     fraction zeros are in the way (the number fits at a smaller scale),
//     otherwise PrecisionTooHigh (the value itself needs rounding).
std::expected<ExactDecimal, DecimalParseError> ExactDecimal::parse(std::string_view text) {
    using Kind = DecimalParseError::Kind;
    if (text.empty()) return std::unexpected(DecimalParseError{Kind::Empty});

    size_t i = 0;
    bool negative = false;
    if (text[0] == '+' || text[0] == '-') {
        negative = text[0] == '-';
        i = 1;
    }

    // Integer digits accumulate until they pass the maximum (then only the
    // flag matters). Fraction digits accumulate without their trailing
    // zeros, which are counted in pending_zeros.
    u128 coefficient = 0;
    bool integer_overflow = false;
    bool trimmed_overflow = false;
    uint32_t scale = 0;
    uint32_t pending_zeros = 0;
    bool seen_digit = false;
    bool seen_point = false;

    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            seen_digit = true;
            const uint32_t digit = static_cast<uint32_t>(c - '0');
            if (!seen_point) {
                if (!integer_overflow) {
                    coefficient = coefficient * 10 + digit;
                    integer_overflow = coefficient > MAX_COEFFICIENT;
                }
                continue;
            }
            if (scale < std::numeric_limits<uint32_t>::max()) ++scale;
            if (digit == 0) {
                if (pending_zeros < scale) ++pending_zeros;
                continue;
            }
            if (!integer_overflow && !trimmed_overflow) {
                // coefficient * 10^(pending_zeros + 1) + digit, if it stays
                // within the maximum.
                const uint32_t shift = pending_zeros + 1;
                if (shift > 29 || coefficient > (MAX_COEFFICIENT - digit) / POW10_U128[shift]) {
                    trimmed_overflow = true;
                } else {
                    coefficient = coefficient * POW10_U128[shift] + digit;
                }
            }
            pending_zeros = 0;
        } else if (c == '_') {
            if (!seen_digit) return std::unexpected(DecimalParseError{Kind::LeadingUnderscore});
        } else if (c == '.') {
            if (seen_point) return std::unexpected(DecimalParseError{Kind::TwoDecimalPoints});
            seen_point = true;
        } else {
            return std::unexpected(DecimalParseError{Kind::UnknownCharacter});
        }
    }

    if (!seen_digit) return std::unexpected(DecimalParseError{Kind::NoDigits});
    if (integer_overflow) {
        return std::unexpected(
            DecimalParseError{negative ? Kind::LessThanMinimum : Kind::ExceedsMaximum});
    }
    if (scale > MAX_SCALE) return std::unexpected(DecimalParseError{Kind::ScaleTooLarge, scale});
    if (trimmed_overflow) return std::unexpected(DecimalParseError{Kind::PrecisionTooHigh});
    if (pending_zeros > 0) {
        if (coefficient > MAX_COEFFICIENT / POW10_U128[pending_zeros]) {
            return std::unexpected(DecimalParseError{Kind::TooManyDigits});
        }
        coefficient *= POW10_U128[pending_zeros];
    }
    return *from_parts(coefficient, scale, negative);
}

int ExactDecimal::compare(const ExactDecimal& a, const ExactDecimal& b) {
    const bool a_zero = a.is_zero();
    const bool b_zero = b.is_zero();
    if (a_zero || b_zero) {
        if (a_zero && b_zero) return 0;
        if (a_zero) return b.negative_ ? 1 : -1;
        return a.negative_ ? -1 : 1;
    }
    if (a.negative_ != b.negative_) return a.negative_ ? -1 : 1;

    // Same sign, both nonzero: compare magnitudes, then flip for negatives.
    int magnitude;
    const u128 ca = a.coefficient();
    const u128 cb = b.coefficient();
    if (a.scale_ == b.scale_) {
        magnitude = ca < cb ? -1 : (ca > cb ? 1 : 0);
    } else {
        // Bring both to the larger scale: up to 96 + 94 bits.
        Wide wa = Wide::from_u128(ca);
        Wide wb = Wide::from_u128(cb);
        if (a.scale_ < b.scale_) {
            scale_up(wa, b.scale_ - a.scale_);
        } else {
            scale_up(wb, a.scale_ - b.scale_);
        }
        const auto order = wa <=> wb;
        magnitude = order < 0 ? -1 : (order > 0 ? 1 : 0);
    }
    return a.negative_ ? -magnitude : magnitude;
}

std::optional<uint64_t> ExactDecimal::to_u64() const {
    if (is_negative()) return std::nullopt;
    const u128 integer = coefficient() / POW10_U128[scale_];
    if (integer > std::numeric_limits<uint64_t>::max()) return std::nullopt;
    return static_cast<uint64_t>(integer);
}

// Whole and fraction parts are converted separately and recombined; the
// final rounding at the value's own scale keeps short decimals such as 100.5
// exact and 0.1 at the double nearest 0.1.
double ExactDecimal::to_f64() const {
    const u128 c = coefficient();
    double v;
    if (scale_ == 0) {
        v = static_cast<double>(c);
    } else {
        const u128 p = POW10_U128[scale_];
        const u128 integer = c / p;
        const double f = static_cast<double>(c % p) / static_cast<double>(p);
        if (f == 0.0) {
            v = static_cast<double>(integer);
        } else {
            v = f + static_cast<double>(integer);
            const double q = POW10_F64[scale_];
            v = std::round(v * q) / q;
        }
    }
    return negative_ ? -v : v;
}

std::string ExactDecimal::to_string() const {
    char buffer[48];
    char* const end = buffer + sizeof buffer;
    char* pos = end;
    u128 value = coefficient();
    uint32_t written = 0;
    do {
        *--pos = static_cast<char>('0' + static_cast<int>(value % 10));
        value /= 10;
        ++written;
        if (written == scale_) *--pos = '.';
    } while (value != 0 || written < scale_);
    if (written == scale_) *--pos = '0';  // "0." before the fraction digits
    // The sign is kept for a negative zero (-0.00), so the text shows the
    // value as it was given.
    if (negative_) *--pos = '-';
    return std::string(pos, end);
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
