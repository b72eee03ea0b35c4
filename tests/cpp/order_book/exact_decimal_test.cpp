#include "zelk/order_book/exact_decimal.hpp"

#include "zelk/order_book/wide_uint.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <map>
#include <random>
#include <string>

namespace zelk {
namespace {

// Rows of exact_decimal_vectors.inc, generated from Python's decimal module by
// tests/tools/generate_decimal_vectors.py. nullptr stands for "none".
struct ParseVector {
    const char* text;
    const char* error;
    const char* plain;
    const char* normalized;
};
struct CompareVector {
    const char* a;
    const char* b;
    int order;
};
struct ArithmeticVector {
    const char* a;
    const char* b;
    const char* sum;
    const char* difference;
    const char* product;
    const char* quotient;
    const char* remainder;
};
struct F64Vector {
    const char* text;
    double value;
};
struct U64Vector {
    const char* text;
    bool has_value;
    uint64_t value;
};

#include "exact_decimal_vectors.inc"

ExactDecimal dec(std::string_view text) {
    auto parsed = ExactDecimal::parse(text);
    if (!parsed) {
        ADD_FAILURE() << "cannot parse " << text << ": " << to_string(parsed.error());
        return ExactDecimal{};
    }
    return *parsed;
}

TEST(ExactDecimalParse, MatchesDecimalModuleVectors) {
    for (const auto& row : PARSE_VECTORS) {
        SCOPED_TRACE(row.text);
        const auto parsed = ExactDecimal::parse(row.text);
        if (row.error != nullptr) {
            ASSERT_FALSE(parsed.has_value()) << parsed->to_string();
            EXPECT_EQ(to_string(parsed.error()), row.error);
        } else {
            ASSERT_TRUE(parsed.has_value()) << to_string(parsed.error());
            EXPECT_EQ(parsed->to_string(), row.plain);
            EXPECT_EQ(parsed->to_normalized_string(), row.normalized);
        }
    }
}

TEST(ExactDecimalParse, EachFailureHasItsOwnKindAndText) {
    using Kind = DecimalParseError::Kind;
    struct Case {
        std::string_view text;
        Kind kind;
        uint32_t scale;
        std::string_view message;
    };
    const Case cases[] = {
        {"", Kind::Empty, 0, "Invalid decimal: empty"},
        {"1.2.3", Kind::TwoDecimalPoints, 0, "Invalid decimal: two decimal points"},
        {"_1", Kind::LeadingUnderscore, 0, "Invalid decimal: must start lead with a number"},
        {"1e5", Kind::UnknownCharacter, 0, "Invalid decimal: unknown character"},
        {"10.0000000000000000000000000000", Kind::TooManyDigits, 0,
         "Invalid decimal: overflow from too many digits"},
        {"-.", Kind::NoDigits, 0, "Invalid decimal: no digits found"},
        {"79228162514264337593543950336", Kind::ExceedsMaximum, 0,
         "Number exceeds maximum value that can be represented."},
        {"-79228162514264337593543950336", Kind::LessThanMinimum, 0,
         "Number less than minimum value that can be represented."},
        {"79228162514264337593543950334.5", Kind::PrecisionTooHigh, 0,
         "Number has a high precision that can not be represented."},
        {"0.00000000000000000000000000001", Kind::ScaleTooLarge, 29,
         "Scale exceeds the maximum precision allowed: 29 > 28"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto parsed = ExactDecimal::parse(c.text);
        ASSERT_FALSE(parsed.has_value());
        EXPECT_EQ(parsed.error(), (DecimalParseError{c.kind, c.scale}));
        EXPECT_EQ(to_string(parsed.error()), c.message);
    }
}

TEST(ExactDecimalParse, KeepsScaleAndSignOfZero) {
    const ExactDecimal d = dec("-0.00");
    EXPECT_EQ(d.scale(), 2u);
    EXPECT_TRUE(d.sign_negative());
    EXPECT_TRUE(d.is_zero());
    EXPECT_FALSE(d.is_negative());
    EXPECT_EQ(d, ExactDecimal{});
    EXPECT_EQ(dec("100.50").scale(), 2u);
    EXPECT_EQ(dec("100.50").coefficient(), 10050u);
}

TEST(ExactDecimalCompare, MatchesDecimalModuleVectors) {
    for (const auto& row : COMPARE_VECTORS) {
        SCOPED_TRACE(std::string(row.a) + " vs " + row.b);
        const ExactDecimal a = dec(row.a);
        const ExactDecimal b = dec(row.b);
        EXPECT_EQ(a == b, row.order == 0);
        EXPECT_EQ(a < b, row.order < 0);
        EXPECT_EQ(a > b, row.order > 0);
        EXPECT_EQ(b < a, row.order > 0);
        EXPECT_EQ((a <=> b) == std::strong_ordering::equal, row.order == 0);
    }
}

TEST(ExactDecimalCompare, NumericallyEqualPricesAreOneMapKey) {
    std::map<ExactDecimal, int> levels;
    levels[dec("100.5")] = 1;
    levels[dec("100.50")] = 2;
    levels[dec("0")] = 3;
    levels[dec("-0.000")] = 4;
    levels[dec("99.99")] = 5;
    ASSERT_EQ(levels.size(), 3u);
    EXPECT_EQ(levels.at(dec("100.500")), 2);
    EXPECT_EQ(levels.at(dec("0.0")), 4);
    EXPECT_EQ(levels.begin()->first.to_string(), "0");
}

TEST(ExactDecimalToF64, FollowsTheConversionRuleVectors) {
    for (const auto& row : F64_VECTORS) {
        SCOPED_TRACE(row.text);
        const double got = dec(row.text).to_f64();
        // Bit equality, so a lost sign on -0 counts as a difference.
        EXPECT_EQ(std::bit_cast<uint64_t>(got), std::bit_cast<uint64_t>(row.value))
            << got << " vs " << row.value;
    }
}

TEST(ExactDecimalToF64, ShortDecimalsLandOnTheirNearestDouble) {
    EXPECT_EQ(dec("0.1").to_f64(), 0.1);
    EXPECT_EQ(dec("100.5").to_f64(), 100.5);
    EXPECT_EQ(dec("-2.25").to_f64(), -2.25);
    EXPECT_EQ(dec("100.50").to_f64(), 100.5);
}

// The rule recombines parts and rounds at the value's scale, which is not
// always the correctly rounded double; these pin the rule, not the ideal.
TEST(ExactDecimalToF64, KeepsTheRuleWhereItDiffersFromTheNearestDouble) {
    // nearest: 123456789.98765433
    EXPECT_EQ(dec("123456789.987654321").to_f64(), 123456789.98765434);
    // v * 10 is beyond 2^53 and rounds to ...952, so the half is lost.
    EXPECT_EQ(dec("4503599627370495.5").to_f64(), 4503599627370495.0);
}

TEST(ExactDecimalToU64, TruncatesAndRefusesNegativeOrTooLargeVectors) {
    for (const auto& row : U64_VECTORS) {
        SCOPED_TRACE(row.text);
        const auto got = dec(row.text).to_u64();
        ASSERT_EQ(got.has_value(), row.has_value);
        if (got) {
            EXPECT_EQ(*got, row.value);
        }
    }
}

// nullptr in a vector means the operation yields none.
void expect_result(const std::optional<ExactDecimal>& got, const char* expected) {
    if (expected == nullptr) {
        EXPECT_FALSE(got.has_value()) << got->to_string();
    } else {
        ASSERT_TRUE(got.has_value()) << "expected " << expected;
        // Plain text, so the scale of the result is checked too.
        EXPECT_EQ(got->to_string(), expected);
    }
}

TEST(ExactDecimalArithmetic, AddAndSubMatchDecimalModuleVectors) {
    for (const auto& row : ARITHMETIC_VECTORS) {
        SCOPED_TRACE(std::string(row.a) + " and " + row.b);
        const ExactDecimal a = dec(row.a);
        const ExactDecimal b = dec(row.b);
        {
            SCOPED_TRACE("+");
            expect_result(a.checked_add(b), row.sum);
        }
        {
            SCOPED_TRACE("-");
            expect_result(a.checked_sub(b), row.difference);
        }
    }
}

TEST(ExactDecimalArithmetic, MulDivRemMatchDecimalModuleVectors) {
    for (const auto& row : ARITHMETIC_VECTORS) {
        SCOPED_TRACE(std::string(row.a) + " and " + row.b);
        const ExactDecimal a = dec(row.a);
        const ExactDecimal b = dec(row.b);
        {
            SCOPED_TRACE("*");
            expect_result(a.checked_mul(b), row.product);
        }
        {
            SCOPED_TRACE("/");
            expect_result(a.checked_div(b), row.quotient);
        }
        {
            SCOPED_TRACE("%");
            expect_result(a.checked_rem(b), row.remainder);
        }
    }
}

using Wide = detail::WideUint<4>;

void expect_division_identity(const Wide& n, const Wide& d) {
    const auto [q, r] = detail::divmod(n, d);
    EXPECT_LT(r, d);
    Wide back = detail::multiply(q, d);
    EXPECT_EQ(back.add(r), 0u);
    EXPECT_EQ(back, n);
}

// The quotient-digit estimate is one too large here, which takes the rare
// add-back step of the long division.
TEST(WideUintDivision, AddBackCase) {
    const Wide n{{0, 0, 0x8000000000000000ull, 0x7fffffffffffffffull}};
    const Wide d{{1, 0, 0x8000000000000000ull, 0}};
    const auto [q, r] = detail::divmod(n, d);
    EXPECT_EQ(q, (Wide{{0xfffffffffffffffeull, 0, 0, 0}}));
    EXPECT_EQ(r, (Wide{{2, 0xffffffffffffffffull, 0x7fffffffffffffffull, 0}}));
    expect_division_identity(n, d);
}

// q * d + r == n and r < d over random and extreme limb patterns.
TEST(WideUintDivision, QuotientTimesDivisorPlusRemainderIsDividend) {
    std::mt19937_64 rng(20240611);
    const uint64_t patterns[] = {0, 1, 0x8000000000000000ull, 0x7fffffffffffffffull, ~0ull};
    auto limb = [&] { return rng() % 3 == 0 ? patterns[rng() % 5] : rng(); };
    for (int i = 0; i < 5000; ++i) {
        Wide n;
        Wide d;
        for (size_t k = 0, len = 1 + rng() % 4; k < len; ++k) n.limbs[k] = limb();
        for (size_t k = 0, len = 1 + rng() % 3; k < len; ++k) d.limbs[k] = limb();
        if (d.is_zero()) d.limbs[0] = 1;
        expect_division_identity(n, d);
        if (HasFailure()) break;
    }
}

}  // namespace
}  // namespace zelk
