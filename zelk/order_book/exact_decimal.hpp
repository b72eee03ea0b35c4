// Exact decimal numbers for order-book prices and sizes.
//
// A value is (-1)^sign * coefficient * 10^-scale with a 96-bit unsigned
// coefficient and a scale of 0 to 28. The scale is part of the stored value
// (100.50 keeps scale 2) but equality, ordering and the zero test are numeric.
// The type is 16 bytes, trivially copyable and never allocates, so dense book
// arrays hold it directly. Arithmetic returns std::nullopt on overflow instead
// of crashing; callers treat that as "no value".
#pragma once

#include <compare>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

namespace zelk {

using u128 = unsigned __int128;

// Why a text could not be parsed; renders as the decimal type's own message.
struct DecimalParseError {
    enum class Kind : uint8_t {
        Empty,
        TwoDecimalPoints,
        LeadingUnderscore,
        UnknownCharacter,
        TooManyDigits,
        NoDigits,
        ExceedsMaximum,
        LessThanMinimum,
        PrecisionTooHigh,
        ScaleTooLarge,
    };
    Kind kind;
    uint32_t scale = 0;  // only for ScaleTooLarge

    friend bool operator==(const DecimalParseError&, const DecimalParseError&) = default;
};

// "Invalid decimal: empty", "Scale exceeds the maximum precision allowed: 29 > 28", ...
std::string to_string(const DecimalParseError& error);

class ExactDecimal {
  public:
    static constexpr uint32_t MAX_SCALE = 28;
    static constexpr u128 MAX_COEFFICIENT = (u128{1} << 96) - 1;

    // Zero with scale 0.
    constexpr ExactDecimal() = default;

    // The value of a signed integer, scale 0.
    static constexpr ExactDecimal from_integer(int64_t value) {
        ExactDecimal d;
        const bool negative = value < 0;
        const uint64_t magnitude =
            negative ? uint64_t{0} - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
        d.lo_ = magnitude;
        d.negative_ = negative;
        return d;
    }

    // REQUIRES nothing; returns nullopt when coefficient > MAX_COEFFICIENT or
    // scale > MAX_SCALE.
    static constexpr std::optional<ExactDecimal> from_parts(u128 coefficient, uint32_t scale,
                                                            bool negative) {
        if (coefficient > MAX_COEFFICIENT || scale > MAX_SCALE) return std::nullopt;
        ExactDecimal d;
        d.lo_ = static_cast<uint64_t>(coefficient);
        d.hi_ = static_cast<uint32_t>(coefficient >> 64);
        d.scale_ = static_cast<uint8_t>(scale);
        d.negative_ = negative;
        return d;
    }

    // Exact parse of a plain decimal text: optional sign, digits, at most one
    // point, underscores as digit separators after the first digit. A value
    // that cannot be held without rounding is refused.
    static std::expected<ExactDecimal, DecimalParseError> parse(std::string_view text);

    constexpr u128 coefficient() const { return (u128{hi_} << 64) | lo_; }
    constexpr uint32_t scale() const { return scale_; }
    // The stored sign flag; -0 keeps it, but is_zero() is still true.
    constexpr bool sign_negative() const { return negative_; }
    constexpr bool is_zero() const { return lo_ == 0 && hi_ == 0; }
    // Strictly below zero (numerically).
    constexpr bool is_negative() const { return negative_ && !is_zero(); }
    constexpr bool is_positive() const { return !negative_ && !is_zero(); }

    // Plain text: optional "-", integer digits, and when scale > 0 a point
    // followed by exactly scale digits (100.50). Never an exponent. A zero
    // that carries the sign flag keeps it (-0.00), as it was given.
    std::string to_string() const;
    // Plain text with trailing fraction zeros (and a bare point) removed:
    // 100.500 -> 100.5, 2.000 -> 2. Zero prints as 0, never -0.
    std::string to_normalized_string() const;

    // Conversion to the nearest-by-rule double used by every output cell.
    double to_f64() const;
    // Truncating conversion; nullopt for negative values or values >= 2^64.
    std::optional<uint64_t> to_u64() const;

    // Arithmetic: results keep at most 28 fractional digits and are rounded
    // to what the coefficient allows; nullopt when the magnitude overflows.
    // Sums of sizes and prices of one book share a scale and a sign; that
    // case is one 128-bit addition, inline, and stays out of the general
    // routine.
    std::optional<ExactDecimal> checked_add(const ExactDecimal& other) const {
        if (scale_ == other.scale_ && negative_ == other.negative_) {
            const u128 sum = coefficient() + other.coefficient();
            if (sum <= MAX_COEFFICIENT) return with_coefficient(sum, negative_);
        }
        return add_slow(other, other.negative_);
    }
    std::optional<ExactDecimal> checked_sub(const ExactDecimal& other) const {
        if (scale_ == other.scale_ && negative_ != other.negative_) {
            const u128 sum = coefficient() + other.coefficient();
            if (sum <= MAX_COEFFICIENT) return with_coefficient(sum, negative_);
        }
        return add_slow(other, !other.negative_);
    }
    std::optional<ExactDecimal> checked_mul(const ExactDecimal& other) const;
    // nullopt also for division by zero.
    std::optional<ExactDecimal> checked_div(const ExactDecimal& other) const;
    // Remainder with the sign of the dividend; nullopt for a zero divisor.
    std::optional<ExactDecimal> checked_rem(const ExactDecimal& other) const;
    ExactDecimal abs() const {
        ExactDecimal d = *this;
        d.negative_ = false;
        return d;
    }
    ExactDecimal negated() const {
        ExactDecimal d = *this;
        d.negative_ = !negative_;
        return d;
    }
    // The same number with trailing fraction zeros removed from the scale.
    ExactDecimal normalized() const;

    // Whether both hold the same coefficient, scale and sign flag, so every
    // computation gives the same result on them (100.5 and 100.50 differ).
    friend bool same_representation(const ExactDecimal& a, const ExactDecimal& b) {
        return a.lo_ == b.lo_ && a.hi_ == b.hi_ && a.scale_ == b.scale_ &&
               a.negative_ == b.negative_;
    }

    // Numeric comparison: 100.5 == 100.50, 0 == -0.
    friend bool operator==(const ExactDecimal& a, const ExactDecimal& b) {
        return compare(a, b) == 0;
    }
    friend std::strong_ordering operator<=>(const ExactDecimal& a, const ExactDecimal& b) {
        return compare(a, b) <=> 0;
    }

  private:
    // -1, 0 or 1. Inline for the common case of one scale and one sign
    // flag (prices of one book); everything else goes out of line.
    static int compare(const ExactDecimal& a, const ExactDecimal& b) {
        if (a.scale_ != b.scale_ || a.negative_ != b.negative_) return compare_slow(a, b);
        const u128 ca = a.coefficient();
        const u128 cb = b.coefficient();
        const int magnitude = (ca > cb) - (ca < cb);
        return a.negative_ ? -magnitude : magnitude;
    }
    static int compare_slow(const ExactDecimal& a, const ExactDecimal& b);

    // This value's scale with another coefficient and sign; arithmetic never
    // produces a negative zero. REQUIRES: coefficient <= MAX_COEFFICIENT.
    ExactDecimal with_coefficient(u128 coefficient, bool negative) const {
        ExactDecimal d;
        d.lo_ = static_cast<uint64_t>(coefficient);
        d.hi_ = static_cast<uint32_t>(coefficient >> 64);
        d.scale_ = scale_;
        d.negative_ = negative && coefficient != 0;
        return d;
    }
    // this + (other with its sign flag replaced by `other_negative`), for
    // every case the inline paths do not take.
    std::optional<ExactDecimal> add_slow(const ExactDecimal& other, bool other_negative) const;

    uint64_t lo_ = 0;
    uint32_t hi_ = 0;
    uint8_t scale_ = 0;
    bool negative_ = false;
};

static_assert(sizeof(ExactDecimal) == 16);

}  // namespace zelk
