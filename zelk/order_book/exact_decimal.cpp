#include "zelk/order_book/exact_decimal.hpp"

#include <array>
#include <bit>
#include <cmath>
#include <limits>

#include <fmt/format.h>

#include "zelk/order_book/powers_of_ten.hpp"
#include "zelk/order_book/wide_uint.hpp"

namespace zelk {

namespace {

// Wide enough for a 96-bit coefficient times 10^56 during scale alignment,
// for the product of two coefficients, and for a dividend scaled up by the
// quotient's scale.
using Wide = detail::WideUint<4>;

constexpr uint32_t MAX_SCALE = ExactDecimal::MAX_SCALE;
constexpr u128 MAX_COEFFICIENT = ExactDecimal::MAX_COEFFICIENT;

using detail::POW10_U128;
using detail::POW10_U64;

// MAX_COEFFICIENT / 10^k: the largest coefficient that k more digits keep
// within the maximum.
constexpr std::array<u128, MAX_SCALE + 1> MAX_DIV_POW10 = [] {
    std::array<u128, MAX_SCALE + 1> table{};
    for (size_t k = 0; k < table.size(); ++k) table[k] = MAX_COEFFICIENT / POW10_U128[k];
    return table;
}();

// The double nearest to 10^s for every scale. For these scales this is also
// exactly what binary powering in doubles (square and multiply) produces.
constexpr std::array<double, MAX_SCALE + 1> POW10_F64 = [] {
    std::array<double, MAX_SCALE + 1> table{};
    for (size_t s = 0; s < table.size(); ++s) table[s] = static_cast<double>(POW10_U128[s]);
    return table;
}();

// Number of decimal digits of value; 1 for zero.
uint32_t digit_count(u128 value) {
    if (value == 0) return 1;
    const auto high = static_cast<uint64_t>(value >> 64);
    const uint32_t bits = high != 0 ? 128 - std::countl_zero(high)
                                    : 64 - std::countl_zero(static_cast<uint64_t>(value));
    // bits * log10(2), rounded down, is the digit count or one less.
    const uint32_t t = bits * 1233 >> 12;
    return t + (value >= POW10_U128[t] ? 1 : 0);
}

// Correctly rounded, like the plain conversion, but with the cheap 64-bit
// instruction sequence when the value allows it.
// Above 64 bits, the top 64 bits are converted with every lower bit folded
// into their last bit ("round to odd"): with 11 bits to spare below the
// double's 53, that one rounding is the correct rounding of the whole value.
// The power-of-two scaling back is exact.
double to_double(u128 value) {
    const auto high = static_cast<uint64_t>(value >> 64);
    if (high == 0) return static_cast<double>(static_cast<uint64_t>(value));
    const int shift = 64 - std::countl_zero(high);
    const auto top = static_cast<uint64_t>(value >> shift);
    const bool dropped = (value & ((u128{1} << shift) - 1)) != 0;
    const double scale = std::bit_cast<double>(static_cast<uint64_t>(1023 + shift) << 52);
    return static_cast<double>(top | (dropped ? 1 : 0)) * scale;
}

// std::round (half away from zero), without the library call: below 2^52 the
// fraction x - trunc(x) is exact, and from 2^52 on every double is whole.
double round_half_away(double x) {
    if (!(std::fabs(x) < 4503599627370496.0)) return x;
    const double whole = static_cast<double>(static_cast<int64_t>(x));
    const double fraction = x - whole;
    double rounded = whole;
    if (fraction >= 0.5) rounded = whole + 1.0;
    if (fraction <= -0.5) rounded = whole - 1.0;
    return std::copysign(rounded, x);
}

// value / divisor, with value % divisor in `remainder`.
u128 divide_u128(u128 value, uint64_t divisor, uint64_t& remainder) {
    const auto high = static_cast<uint64_t>(value >> 64);
    const auto low = static_cast<uint64_t>(value);
    if (high == 0) {
        remainder = low % divisor;
        return low / divisor;
    }
    // A quotient that fits 64 bits is one hardware division.
    if (high < divisor) return detail::divide_128_by_64(high, low, divisor, remainder);
    uint64_t r;
    const uint64_t q_high = detail::divide_128_by_64(0, high, divisor, r);
    const uint64_t q_low = detail::divide_128_by_64(r, low, divisor, remainder);
    return (u128{q_high} << 64) | q_low;
}

// value / 10^scale and value % 10^scale. REQUIRES: value < 2^96 (a coefficient).
void split_at_scale(u128 value, uint32_t scale, u128& integer, u128& fraction) {
    if (scale <= 19) {
        uint64_t r;
        integer = divide_u128(value, POW10_U64[scale], r);
        fraction = r;
    } else {
        // value < 2^96 and 10^19 > 2^63, so value / 10^19 is one hardware
        // division; the rest of the scale is a 64-bit one.
        uint64_t low_digits;
        const auto high_digits =
            static_cast<uint64_t>(divide_u128(value, POW10_U64[19], low_digits));
        const uint64_t rest = POW10_U64[scale - 19];
        integer = high_digits / rest;
        fraction = u128{high_digits % rest} * POW10_U64[19] + low_digits;
    }
}

// Removes trailing zeros of the coefficient while the scale stays above
// `floor`, testing big powers first so long zero runs go in a few steps.
void strip_zeros(u128& coefficient, uint32_t& scale, uint32_t floor) {
    for (const uint32_t step : {16u, 8u, 4u, 2u, 1u}) {
        while (scale >= floor + step) {
            uint64_t r;
            const u128 q = divide_u128(coefficient, POW10_U64[step], r);
            if (r != 0) break;
            coefficient = q;
            scale -= step;
        }
    }
}

// value *= 10^exponent. REQUIRES the result to fit.
void scale_up(Wide& value, uint32_t exponent) {
    while (exponent > 19) {
        value.mul_u64(POW10_U64[19]);
        exponent -= 19;
    }
    if (exponent > 0) value.mul_u64(POW10_U64[exponent]);
}

// value / 10^exponent rounded half to even.
Wide divide_pow10_half_even(Wide value, uint32_t exponent) {
    if (exponent == 0) return value;
    // Drop all but the last discarded digit, remembering whether anything
    // nonzero went; the last digit then decides together with that flag.
    bool sticky = false;
    uint32_t rest = exponent - 1;
    while (rest >= 19) {
        sticky |= value.divmod_u64(POW10_U64[19]) != 0;
        rest -= 19;
    }
    if (rest > 0) sticky |= value.divmod_u64(POW10_U64[rest]) != 0;
    const uint64_t digit = value.divmod_u64(10);
    if (digit > 5 || (digit == 5 && (sticky || (value.limbs[0] & 1) != 0))) value.increment();
    return value;
}

bool exceeds_max(const Wide& value) {
    return !value.fits_u128() || value.low_u128() > MAX_COEFFICIENT;
}

ExactDecimal make(u128 coefficient, uint32_t scale, bool negative) {
    // Arithmetic never produces a negative zero.
    return *ExactDecimal::from_parts(coefficient, scale, negative && coefficient != 0);
}

// The magnitude `value` at `scale` (which may exceed MAX_SCALE) rounded half
// to even to the largest scale <= min(scale, MAX_SCALE) whose coefficient
// fits; nullopt when even scale 0 overflows.
std::optional<ExactDecimal> round_to_fit(const Wide& value, uint32_t scale, bool negative) {
    uint32_t drop = scale > MAX_SCALE ? scale - MAX_SCALE : 0;
    if (drop == 0 && !exceeds_max(value)) return make(value.low_u128(), scale, negative);
    // value >= 2^(bits-1) and the kept coefficient < 2^96, so at least
    // (bits - 97) * log10(2) digits must go; 77/256 < log10(2) keeps the
    // estimate a lower bound, leaving a step or two for the loop below.
    const uint32_t bits = value.bit_length();
    if (bits > 97) drop = std::max(drop, (bits - 97) * 77 / 256);
    for (; drop <= scale; ++drop) {
        const Wide rounded = divide_pow10_half_even(value, drop);
        if (!exceeds_max(rounded)) return make(rounded.low_u128(), scale - drop, negative);
    }
    return std::nullopt;
}

// Signed sum of two magnitudes already aligned to `scale`.
std::optional<ExactDecimal> add_aligned(Wide a, bool a_negative, Wide b, bool b_negative,
                                        uint32_t scale) {
    if (a_negative == b_negative) {
        a.add(b);
        return round_to_fit(a, scale, a_negative);
    }
    if (a >= b) {
        a.sub(b);
        return round_to_fit(a, scale, a_negative);
    }
    b.sub(a);
    return round_to_fit(b, scale, b_negative);
}

// a + (-1)^b_negative * |b|, the shared body of addition and subtraction.
std::optional<ExactDecimal> add_signed(const ExactDecimal& a, const ExactDecimal& b,
                                       bool b_negative) {
    const bool a_negative = a.sign_negative();
    const uint32_t sa = a.scale();
    const uint32_t sb = b.scale();
    const uint32_t scale = std::max(sa, sb);
    if (scale - std::min(sa, sb) <= 9) {
        // Common case: aligned magnitudes stay below 2^126 and their sum
        // below 2^127, so 128 bits are enough.
        const u128 ca = a.coefficient() * POW10_U128[scale - sa];
        const u128 cb = b.coefficient() * POW10_U128[scale - sb];
        u128 magnitude;
        bool negative;
        if (a_negative == b_negative) {
            magnitude = ca + cb;
            negative = a_negative;
        } else if (ca >= cb) {
            magnitude = ca - cb;
            negative = a_negative;
        } else {
            magnitude = cb - ca;
            negative = b_negative;
        }
        if (magnitude <= MAX_COEFFICIENT) return make(magnitude, scale, negative);
        return round_to_fit(Wide::from_u128(magnitude), scale, negative);
    }
    Wide wa = Wide::from_u128(a.coefficient());
    Wide wb = Wide::from_u128(b.coefficient());
    scale_up(wa, scale - sa);
    scale_up(wb, scale - sb);
    return add_aligned(wa, a_negative, wb, b_negative, scale);
}

// checked_div's search for operands below 2^64 (every real price, size and
// sum of them): the same steps in 128-bit integers with hardware divisions.
// ca * 10^e is divided in two parts, (ca * 10^19) / cb and then the remainder
// times 10^(e - 19), so each part fits 128 bits; the quotient stays below
// 10^30 and the divisor, after at most a few steps down, below 2^72.
// REQUIRES: ca > 0, cb > 0, 0 <= e <= 38, e as checked_div chose it.
std::optional<ExactDecimal> divide_narrow(uint64_t ca, uint64_t cb, int e, int sa, int sb,
                                          uint32_t preferred, bool negative) {
    u128 quotient;
    u128 remainder;
    if (e <= 19) {
        uint64_t r;
        quotient = divide_u128(u128{ca} * POW10_U64[e], cb, r);
        remainder = r;
    } else {
        uint64_t r;
        const u128 high = divide_u128(u128{ca} * POW10_U64[19], cb, r);
        const uint64_t rest = POW10_U64[e - 19];
        uint64_t r2;
        const u128 low = divide_u128(u128{r} * rest, cb, r2);
        quotient = high * rest + low;
        remainder = r2;
    }
    u128 divisor = cb;
    for (;; --e) {
        const int t = e - sb + sa;
        if (t < 0) return std::nullopt;
        if (remainder == 0) {
            if (quotient <= MAX_COEFFICIENT) {
                uint32_t s = static_cast<uint32_t>(t);
                strip_zeros(quotient, s, preferred);
                return make(quotient, s, negative);
            }
        } else {
            const u128 twice = remainder * 2;
            const bool up = twice > divisor || (twice == divisor && (quotient & 1) != 0);
            const u128 rounded = quotient + (up ? 1 : 0);
            if (rounded <= MAX_COEFFICIENT)
                return make(rounded, static_cast<uint32_t>(t), negative);
        }
        const auto digit = static_cast<uint64_t>(quotient % 10);
        quotient /= 10;
        remainder += divisor * digit;
        divisor *= 10;
    }
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

    {
        // Fast path for the usual shape: sign, at most 19 digits (always
        // below the maximum, accumulated in 64 bits), at most one point.
        // Anything else, errors included, is left to the full parse below.
        size_t j = text[0] == '+' || text[0] == '-' ? 1 : 0;
        uint64_t value = 0;
        uint32_t digits = 0;
        uint32_t point = UINT32_MAX;
        for (; j < text.size(); ++j) {
            const char c = text[j];
            if (c >= '0' && c <= '9') {
                if (++digits > 19) break;
                value = value * 10 + static_cast<uint64_t>(c - '0');
            } else if (c == '.' && point == UINT32_MAX) {
                point = digits;
            } else {
                break;
            }
        }
        if (j == text.size() && digits > 0) {
            const uint32_t scale = point == UINT32_MAX ? 0 : digits - point;
            return *from_parts(value, scale, text[0] == '-');
        }
    }

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
                if (shift <= 9) {
                    // Below 2^96 * 10^9 + 9 < 2^127: no 128-bit overflow.
                    coefficient = coefficient * POW10_U64[shift] + digit;
                    trimmed_overflow = coefficient > MAX_COEFFICIENT;
                } else if (shift > 29 ||
                           coefficient > (MAX_COEFFICIENT - digit) / POW10_U128[shift]) {
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
        if (coefficient > MAX_DIV_POW10[pending_zeros]) {
            return std::unexpected(DecimalParseError{Kind::TooManyDigits});
        }
        coefficient *= POW10_U128[pending_zeros];
    }
    return *from_parts(coefficient, scale, negative);
}

int ExactDecimal::compare_slow(const ExactDecimal& a, const ExactDecimal& b) {
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
    u128 integer;
    u128 fraction;
    split_at_scale(coefficient(), scale_, integer, fraction);
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
        v = to_double(c);
    } else {
        u128 integer;
        u128 fraction;
        split_at_scale(c, scale_, integer, fraction);
        // POW10_F64[s] is the double nearest to 10^s, i.e. double(10^s).
        const double f = to_double(fraction) / POW10_F64[scale_];
        if (f == 0.0) {
            v = to_double(integer);
        } else {
            v = f + to_double(integer);
            const double q = POW10_F64[scale_];
            v = round_half_away(v * q) / q;
        }
    }
    return negative_ ? -v : v;
}

std::optional<ExactDecimal> ExactDecimal::add_slow(const ExactDecimal& other,
                                                   bool other_negative) const {
    return add_signed(*this, other, other_negative);
}

std::optional<ExactDecimal> ExactDecimal::checked_mul(const ExactDecimal& other) const {
    const bool negative = negative_ != other.negative_;
    const uint32_t scale = scale_ + other.scale_;
    const u128 ca = coefficient();
    const u128 cb = other.coefficient();
    if ((ca >> 64) == 0 && (cb >> 64) == 0) {
        const u128 product = ca * cb;
        if (scale <= MAX_SCALE && product <= MAX_COEFFICIENT) return make(product, scale, negative);
        return round_to_fit(Wide::from_u128(product), scale, negative);
    }
    return round_to_fit(detail::multiply(Wide::from_u128(ca), Wide::from_u128(cb)), scale,
                        negative);
}

// The quotient at scale t is round(ca * 10^e / cb) with e = t + sb - sa. The
// largest t whose result fits is sought: e starts at an upper bound from the
// digit counts (a quotient with more than 29 digits cannot fit), and each
// step down divides the floor quotient by 10 and moves that digit into the
// remainder, so only one long division is done. An exact quotient drops
// trailing zeros down to the scale sa - sb (at least 0); an inexact one is
// rounded half to even.
std::optional<ExactDecimal> ExactDecimal::checked_div(const ExactDecimal& other) const {
    if (other.is_zero()) return std::nullopt;
    const bool negative = negative_ != other.negative_;
    const int sa = scale_;
    const int sb = other.scale_;
    const uint32_t preferred = sa > sb ? static_cast<uint32_t>(sa - sb) : 0;
    const u128 ca = coefficient();
    const u128 cb = other.coefficient();
    if (ca == 0) return make(0, preferred, false);
    if ((cb >> 64) == 0 && sa + 9 >= sb) {
        // Fast path: a quotient that is exact at the preferred scale (a
        // halved price, a whole ratio) needs one short division.
        // ca * 10^(sb - sa) stays below 2^96 * 10^9.
        const u128 dividend = sb > sa ? ca * POW10_U64[sb - sa] : ca;
        const auto divisor = static_cast<uint64_t>(cb);
        uint64_t r;
        u128 q = divide_u128(dividend, divisor, r);
        // Up to three more digits finish halves, quarters and eighths.
        uint32_t s = preferred;
        while (r != 0 && s < preferred + 3 && s < MAX_SCALE && divisor < (uint64_t{1} << 60) &&
               q <= MAX_DIV_POW10[1]) {
            const uint64_t shifted = r * 10;
            q = q * 10 + shifted / divisor;
            r = shifted % divisor;
            ++s;
        }
        if (r == 0 && q <= MAX_COEFFICIENT) return make(q, s, negative);
    }

    // e >= 0 here, and ca * 10^e < 10^(29 + digits(cb)) <= 10^58 < 2^193.
    int e = std::min(static_cast<int>(MAX_SCALE) + sb - sa,
                     29 - static_cast<int>(digit_count(ca)) + static_cast<int>(digit_count(cb)));
    if ((ca >> 64) == 0 && (cb >> 64) == 0 && e <= 38) {
        return divide_narrow(static_cast<uint64_t>(ca), static_cast<uint64_t>(cb), e, sa, sb,
                             preferred, negative);
    }
    Wide dividend = Wide::from_u128(ca);
    scale_up(dividend, static_cast<uint32_t>(e));
    Wide divisor = Wide::from_u128(cb);
    auto [quotient, remainder] = detail::divmod(dividend, divisor);

    for (;; --e) {
        const int t = e - sb + sa;
        if (t < 0) return std::nullopt;
        if (remainder.is_zero()) {
            if (!exceeds_max(quotient)) {
                u128 c = quotient.low_u128();
                uint32_t s = static_cast<uint32_t>(t);
                strip_zeros(c, s, preferred);
                return make(c, s, negative);
            }
        } else {
            Wide twice = remainder;
            twice.add(remainder);
            const auto half = twice <=> divisor;
            Wide rounded = quotient;
            if (half > 0 || (half == 0 && (quotient.limbs[0] & 1) != 0)) rounded.increment();
            if (!exceeds_max(rounded)) {
                return make(rounded.low_u128(), static_cast<uint32_t>(t), negative);
            }
        }
        // One scale less: q' = q div 10, r' = r + d * (q mod 10), d' = 10 d.
        // The divisor stays below 2^190 * 10^3 here.
        const uint64_t digit = quotient.divmod_u64(10);
        Wide moved = divisor;
        moved.mul_u64(digit);
        remainder.add(moved);
        divisor.mul_u64(10);
    }
}

std::optional<ExactDecimal> ExactDecimal::checked_rem(const ExactDecimal& other) const {
    if (other.is_zero()) return std::nullopt;
    const uint32_t scale = std::max<uint32_t>(scale_, other.scale_);
    // The remainder is below both aligned magnitudes, and one of them is not
    // scaled, so it always fits the coefficient.
    if (scale - std::min<uint32_t>(scale_, other.scale_) <= 9) {
        const u128 ca = coefficient() * POW10_U128[scale - scale_];
        const u128 cb = other.coefficient() * POW10_U128[scale - other.scale_];
        return make(ca % cb, scale, negative_);
    }
    Wide wa = Wide::from_u128(coefficient());
    Wide wb = Wide::from_u128(other.coefficient());
    scale_up(wa, scale - scale_);
    scale_up(wb, scale - other.scale_);
    return make(detail::divmod(wa, wb).remainder.low_u128(), scale, negative_);
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

std::string ExactDecimal::to_normalized_string() const {
    return normalized().to_string();
}

ExactDecimal ExactDecimal::normalized() const {
    ExactDecimal d = *this;
    u128 c = coefficient();
    uint32_t s = scale_;
    strip_zeros(c, s, 0);
    d.lo_ = static_cast<uint64_t>(c);
    d.hi_ = static_cast<uint32_t>(c >> 64);
    d.scale_ = static_cast<uint8_t>(s);
    if (c == 0) d.negative_ = false;
    return d;
}

}  // namespace zelk
