#!/usr/bin/env python3
"""Writes tests/cpp/order_book/exact_decimal_vectors.inc.

Python's decimal module is the oracle for the C++ ExactDecimal type: parsing,
text forms, comparison and + - * / % are computed here with 300-digit exact
arithmetic and then fitted to the type's limits (96-bit coefficient, scale at
most 28, half-to-even rounding). The float conversion is computed by following
the conversion rule step by step in binary64 arithmetic, which is not always
the correctly rounded double.

Usage: python3 tests/tools/generate_decimal_vectors.py [output path]
The output is deterministic (fixed seed); commit it together with this script.
"""

import math
import random
import sys
from decimal import (
    ROUND_DOWN,
    ROUND_HALF_EVEN,
    Context,
    Decimal,
    Inexact,
    InvalidOperation,
    DivisionByZero,
)
from pathlib import Path

MAX_COEFFICIENT = 2**96 - 1
MAX_SCALE = 28
CTX = Context(prec=300, rounding=ROUND_HALF_EVEN, Emax=999999, Emin=-999999,
              traps=[InvalidOperation, DivisionByZero])

DEFAULT_OUTPUT = (Path(__file__).resolve().parents[1] / "cpp" / "order_book"
                  / "exact_decimal_vectors.inc")

# ---------------------------------------------------------------- the oracle


def coefficient(d):
    return int(d.copy_abs().scaleb(-d.as_tuple().exponent, context=CTX))


def scale_of(d):
    return -d.as_tuple().exponent


def parse(text):
    """Returns (Decimal, None) for an accepted text, (None, message) otherwise."""
    if text == "":
        return None, "Invalid decimal: empty"
    negative = text[0] == "-"
    body = text[1:] if text[0] in "+-" else text
    seen_digit = seen_point = False
    kept = []
    for ch in body:
        if ch.isascii() and ch.isdigit():
            seen_digit = True
            kept.append(ch)
        elif ch == "_":
            if not seen_digit:
                return None, "Invalid decimal: must start lead with a number"
        elif ch == ".":
            if seen_point:
                return None, "Invalid decimal: two decimal points"
            seen_point = True
            kept.append(ch)
        else:
            return None, "Invalid decimal: unknown character"
    if not seen_digit:
        return None, "Invalid decimal: no digits found"

    value = Decimal(("-" if negative else "") + "".join(kept))
    if value.copy_abs().to_integral_value(rounding=ROUND_DOWN) > MAX_COEFFICIENT:
        if negative:
            return None, "Number less than minimum value that can be represented."
        return None, "Number exceeds maximum value that can be represented."
    scale = scale_of(value)
    if scale > MAX_SCALE:
        return None, f"Scale exceeds the maximum precision allowed: {scale} > {MAX_SCALE}"
    coef = coefficient(value)
    if coef > MAX_COEFFICIENT:
        # Only trailing fraction zeros in the way: the number itself fits.
        while scale > 0 and coef % 10 == 0:
            coef //= 10
            scale -= 1
        if coef <= MAX_COEFFICIENT:
            return None, "Invalid decimal: overflow from too many digits"
        return None, "Number has a high precision that can not be represented."
    return value, None


def plain(d):
    return format(d, "f")


def normalized(d):
    if d == 0:
        return "0"
    return format(d.normalize(CTX), "f")


def positive_zero(d):
    return d.copy_abs() if d == 0 else d


def fit(exact, scale):
    """The exact value rounded half to even at the largest scale <= min(scale, 28)
    whose coefficient fits in 96 bits; None when not even scale 0 fits."""
    for t in range(min(scale, MAX_SCALE), -1, -1):
        q = exact.quantize(Decimal(1).scaleb(-t), context=CTX)
        if coefficient(q) <= MAX_COEFFICIENT:
            return positive_zero(q)
    return None


def add(a, b):
    return fit(CTX.add(a, b), max(scale_of(a), scale_of(b)))


def sub(a, b):
    return fit(CTX.subtract(a, b), max(scale_of(a), scale_of(b)))


def mul(a, b):
    return fit(CTX.multiply(a, b), scale_of(a) + scale_of(b))


def div(a, b):
    if b == 0:
        return None
    CTX.clear_flags()
    q = CTX.divide(a, b)
    if not CTX.flags[Inexact]:
        # An exact quotient keeps the scale a_scale - b_scale (at least 0),
        # or the fewest digits that hold it when it needs more.
        minimal = 0 if q == 0 else max(0, scale_of(q.normalize(CTX)))
        s = max(minimal, scale_of(a) - scale_of(b), 0)
        if s <= MAX_SCALE:
            exact = q.quantize(Decimal(1).scaleb(-s), context=CTX)
            if coefficient(exact) <= MAX_COEFFICIENT:
                return positive_zero(exact)
    # 300 significant digits: a quotient by a divisor below 10^29 cannot sit
    # on a rounding tie at 28 digits unless it is exact, so no double rounding.
    return fit(q, MAX_SCALE)


def rem(a, b):
    if b == 0:
        return None
    r = CTX.remainder(a, b)  # sign of the dividend
    return positive_zero(r.quantize(Decimal(1).scaleb(-max(scale_of(a), scale_of(b))), context=CTX))


def round_half_away(x):
    whole = math.floor(x)
    return float(whole + 1) if x - whole >= 0.5 else float(whole)


def pow10_in_doubles(s):
    """10^s by binary powering in binary64."""
    result, base = 1.0, 10.0
    while s:
        if s & 1:
            result *= base
        base *= base
        s >>= 1
    return result


def to_f64(d):
    """The conversion rule, step by step, in binary64."""
    coef, s = coefficient(d), scale_of(d)
    if s == 0:
        v = float(coef)
    else:
        integer, fraction = divmod(coef, 10**s)
        f = float(fraction) / float(10**s)
        if f == 0:
            v = float(integer)
        else:
            v = f + float(integer)
            q = pow10_in_doubles(s)
            v = round_half_away(v * q) / q
    return -v if d.is_signed() else v


def to_u64(d):
    if d < 0:
        return None
    n = int(d.to_integral_value(rounding=ROUND_DOWN))
    return n if n < 2**64 else None


def compare(a, b):
    return (a > b) - (a < b)


# ---------------------------------------------------------------- the cases

MAX = str(MAX_COEFFICIENT)  # 79228162514264337593543950335
TINY = "0." + "0" * 27 + "1"  # 10^-28
ONE_28 = "1." + "0" * 27 + "1"  # 1 + 10^-28

PARSE_TEXTS = [
    # accepted forms
    "0", "-0", "+0", "0.00", "-0.00", "100.50", "+100.50", "-100.50", "2.000", "100.500",
    ".5", "-.5", "5.", "007.10", "1_000.5", "1__000", "1_", "1._5", "1_.5", "-1_000_000.000_1",
    "0.1", TINY, "-" + TINY, "0." + "0" * 28, MAX, "-" + MAX, MAX[:1] + "." + MAX[1:],
    "0" * 40 + "1", "1" + "0" * 28, "79228162514264337593543950.335", "18446744073709551616",
    ONE_28, "0.0000000000000000000000000000",
    # syntax errors, in text order
    "", "_", "_1", "-_1", "+_1", "._5", "1.2.3", "1..", "..5", "1.2.x", "abc", " 1", "1 ", "1e5",
    "1E5", "+-1", "--1", "1-", "1,5", "0x10", "\u20ac1", "1\t", "nan", "inf", "+", "-", ".", "+.",
    "-.", "1.2_3.4",
    # value errors
    "79228162514264337593543950336", "-79228162514264337593543950336", "1" + "0" * 40,
    "-" + "9" * 60 + ".5", "0." + "0" * 28 + "1", "1." + "0" * 29, "0." + "1" * 40,
    "99999999999999999999999999999.0",
    "7.9228162514264337593543950336", "79228162514264337593543950335.0",
    "79228162514264337593543950334.5", "12345.12345678901234567890123456", "10." + "0" * 28,
    "-10." + "0" * 28, "1234567890123456789012345678.9",
]

COMPARE_PAIRS = [
    ("100.5", "100.50"), ("0", "-0"), ("0", "0.00"), ("-0.00", "0"), ("0", "0.0001"),
    ("-0.0001", "0"), ("-1", "1"), ("-2", "-1"), ("1", "1.0000000000000000000000000000"),
    (ONE_28, "1"), (MAX, "-" + MAX), (MAX, "7.9228162514264337593543950335"),
    ("7922816251426433759354395033.5", MAX), ("99.99", "100"), ("-99.99", "-100"),
    (TINY, "0"), ("-" + TINY, "-0.0000000000000000000000000002"),
    ("18446744073709551616", "18446744073709551615.99999999"),
]

ARITHMETIC_PAIRS = [
    ("1", "3"), ("2", "3"), ("100", "3"), ("-2", "3"), ("201", "2"), ("1.00", "4"), ("1.0", "4"),
    ("6.00", "2"), ("6", "0.5"), ("10", "0.5"), ("100.50", "2"), ("0.1", "0.20"), ("1", "1"),
    ("-1", "1"), ("0", "-5"), ("-0", "-0"), ("0.00", "5"), ("5", "0"), ("5", "-0.000"),
    ("7", "-2"), ("-7", "2"), ("-7", "-2"), ("1.00", "0.3"), ("7.5", "0.25"), ("-0.5", "0.25"),
    (MAX, "1"), (MAX, "0.4"), (MAX, "0.5"), (MAX, "0.6"), ("-" + MAX, "-1"), ("-" + MAX, "0.5"),
    (MAX, MAX), (MAX, "-" + MAX), (MAX, "2"), (MAX, "0.5"), (MAX, TINY), (MAX, "7"),
    (TINY, "0.1"), (TINY, "0.5"), (TINY, "1.5"), (TINY, TINY), (ONE_28, ONE_28), (ONE_28, "3"),
    ("1", TINY), ("7.9228162514264337593543950335", TINY), ("0.9999999999999999999999999999", TINY),
    ("1", "7.9228162514264337593543950335"), ("123456789.123456789", "0.000000001"),
    ("18446744073709551615", "18446744073709551615"), ("4294967296", "4294967296.5"),
    ("0.3333333333333333333333333333", "3"), ("100", "0.010"), ("100.25", "0.5"),
    ("101", "0.5"), ("110", "1"), ("1", "0.01"), ("0.0000000001", "10000000000"),
    ("39614081257132168796771975168", "2"), ("79228162514264337593543950.335", "1000"),
    ("2.5", "1"), ("3.5", "1"), ("1.05", "0.1"), ("1.15", "0.1"),
    # quotients whose 29th digit still fits: the scale is limited by the
    # coefficient, not by the 28 fraction digits
    ("512", "7"), ("64", "9"), ("1000", "3"), ("77", "98"), ("8", "0.0011"),
    # exact ties when a quotient is rounded: half to even
    ("0.0000000000000000000000000003", "2"), (TINY, "2"), ("-" + TINY, "2"),
    ("79228162514264337593543950333", "2"), ("79228162514264337593543950331", "-2"),
    ("0.0000000000000000000000000025", "10"), ("0.0000000000000000000000000035", "10"),
]

F64_TEXTS = [
    "0.1", "100.5", "-2.25", "0", "-0", "0.00", "-0.00", "1", "-1", "100.50", "0.3", "2.675",
    "1.005", "123456789.987654321", TINY, "-" + TINY, MAX, "-" + MAX,
    "7.9228162514264337593543950335",
    "0.9999999999999999999999999999", "9007199254740993", "9007199254740993.5",
    "1152921504606846976.5", "4503599627370495.5", "0.5", "1.5", "2.5", "1.0",
    "33.3333333333333333333333333", "100.0000000000000000000000001", "1234.5678",
]

U64_TEXTS = [
    "0", "-0", "0.9", "1.9999", "-0.5", "-1", "18446744073709551615", "18446744073709551615.999",
    "18446744073709551616", "-18446744073709551615", MAX, "100.50", TINY, "-" + TINY,
    "4294967296.000", "0." + "0" * 28,
]


def random_decimal_text(rng, max_bits=96):
    bits = rng.choice([8, 16, 32, 53, 64, 80, max_bits])
    coef = rng.getrandbits(bits)
    scale = rng.choice([0, 0, 1, 2, 2, 3, 4, 8, 12, 18, 25, 28])
    sign = rng.choice(["", "", "-"])
    d = Decimal(coef).scaleb(-scale, context=CTX)
    return sign + plain(d)


def build_cases():
    rng = random.Random(20240611)
    parse_texts = list(PARSE_TEXTS)
    for _ in range(60):
        parse_texts.append(random_decimal_text(rng))
    for _ in range(10):
        # random digit strings, some beyond the limits
        digits = "".join(rng.choice("0123456789") for _ in range(rng.randint(20, 40)))
        point = rng.randint(0, len(digits))
        parse_texts.append(digits[:point] + "." + digits[point:])

    compare_pairs = list(COMPARE_PAIRS)
    for _ in range(60):
        a = random_decimal_text(rng)
        if rng.random() < 0.3:
            # the same number at another scale, or one unit of the last place away
            d = parse(a)[0]
            extra = rng.randint(0, MAX_SCALE - scale_of(d))
            b = plain(d.quantize(Decimal(1).scaleb(-(scale_of(d) + extra)), context=CTX))
            if coefficient(Decimal(b)) > MAX_COEFFICIENT:
                b = a
            if rng.random() < 0.5:
                ulp = Decimal(1).scaleb(-scale_of(Decimal(b)))
                b = plain(CTX.add(Decimal(b), ulp if rng.random() < 0.5 else -ulp))
                if parse(b)[0] is None:
                    b = a
        else:
            b = random_decimal_text(rng)
        compare_pairs.append((a, b))

    arithmetic_pairs = list(ARITHMETIC_PAIRS)
    for _ in range(120):
        arithmetic_pairs.append((random_decimal_text(rng), random_decimal_text(rng)))
    for _ in range(40):
        # short integers: quotients sit near the 29-digit boundary of the coefficient
        arithmetic_pairs.append((str(rng.randint(1, 10 ** rng.randint(1, 6))),
                                 str(rng.randint(1, 10 ** rng.randint(1, 4)))))

    f64_texts = list(F64_TEXTS)
    for _ in range(80):
        f64_texts.append(random_decimal_text(rng))

    arithmetic_pairs += book_query_pairs(random.Random(20261211))

    return parse_texts, compare_pairs, arithmetic_pairs, f64_texts, list(U64_TEXTS)


def book_query_pairs(rng):
    """Operands shaped like the book queries' divisions: (B - A) / (B + A) of
    size sums, (pb * sa + pa * sb) / (sb + sa) of best levels, and spread /
    mid; coefficients below 2^64, as real prices and sizes are."""
    def amount(scale, digits):
        return Decimal(rng.randint(1, 10 ** digits)).scaleb(-scale, context=CTX)

    pairs = []
    for _ in range(120):
        price_scale = rng.choice([0, 1, 2, 4, 8])
        size_scale = rng.choice([0, 2, 3, 8])
        kind = rng.randrange(3)
        if kind == 0:
            bids = amount(size_scale, rng.randint(1, 12))
            asks = amount(size_scale, rng.randint(1, 12))
            pairs.append((plain(CTX.subtract(bids, asks)), plain(CTX.add(bids, asks))))
        elif kind == 1:
            pb, pa = amount(price_scale, 7), amount(price_scale, 7)
            sb, sa = amount(size_scale, 9), amount(size_scale, 9)
            numerator = CTX.add(CTX.multiply(pb, sa), CTX.multiply(pa, sb))
            pairs.append((plain(numerator), plain(CTX.add(sb, sa))))
        else:
            mid = amount(price_scale, 9)
            spread = amount(price_scale, rng.randint(1, 4))
            pairs.append((plain(spread), plain(mid)))
    return pairs


# ---------------------------------------------------------------- output


def c_string(text):
    if text is None:
        return "nullptr"
    out = ['"']
    for byte in text.encode("utf-8"):
        ch = chr(byte)
        if ch in '"\\':
            out.append("\\" + ch)
        elif 32 <= byte < 127:
            out.append(ch)
        else:
            out.append(f"\\{byte:03o}")
    out.append('"')
    return "".join(out)


def must_parse(text):
    value, error = parse(text)
    if error is not None:
        raise SystemExit(f"case {text!r} does not parse: {error}")
    return value


def main():
    output = Path(sys.argv[1]) if len(sys.argv) > 1 else DEFAULT_OUTPUT
    parse_texts, compare_pairs, arithmetic_pairs, f64_texts, u64_texts = build_cases()
    lines = [
        "// Generated by tests/tools/generate_decimal_vectors.py from Python's decimal module.",
        "// Do not edit; rerun the script instead.",
        "// clang-format off",
        "",
        "// text, error text (nullptr when accepted), plain text, normalised text",
        "inline constexpr ParseVector PARSE_VECTORS[] = {",
    ]
    errors_seen = set()
    for text in parse_texts:
        value, error = parse(text)
        if error is None:
            lines.append(f"    {{{c_string(text)}, nullptr, {c_string(plain(value))}, "
                         f"{c_string(normalized(value))}}},")
        else:
            errors_seen.add(error.split(":")[0] if error.startswith("Scale") else error)
            lines.append(f"    {{{c_string(text)}, {c_string(error)}, nullptr, nullptr}},")
    lines += ["};", ""]
    if len(errors_seen) != 10:
        raise SystemExit(f"expected all ten parse failure texts, saw {len(errors_seen)}")

    lines += ["// a, b, sign of (a - b)", "inline constexpr CompareVector COMPARE_VECTORS[] = {"]
    for a, b in compare_pairs:
        lines.append(f"    {{{c_string(a)}, {c_string(b)}, "
                     f"{compare(must_parse(a), must_parse(b))}}},")
    lines += ["};", ""]

    lines += ["// a, b, then a + b, a - b, a * b, a / b, a % b in plain text (nullptr: none)",
              "inline constexpr ArithmeticVector ARITHMETIC_VECTORS[] = {"]
    nones = 0
    for a, b in arithmetic_pairs:
        x, y = must_parse(a), must_parse(b)
        results = [add(x, y), sub(x, y), mul(x, y), div(x, y), rem(x, y)]
        nones += sum(r is None for r in results)
        cells = ", ".join(c_string(None if r is None else plain(r)) for r in results)
        lines.append(f"    {{{c_string(a)}, {c_string(b)}, {cells}}},")
    lines += ["};", ""]

    lines += ["// text, the double the conversion rule gives",
              "inline constexpr F64Vector F64_VECTORS[] = {"]
    not_nearest = 0
    for text in f64_texts:
        value = must_parse(text)
        expected = to_f64(value)
        not_nearest += expected != float(value)
        lines.append(f"    {{{c_string(text)}, {expected.hex()}}},")
    lines += ["};", ""]

    lines += ["// text, truncated unsigned 64-bit value (has_value false: none)",
              "inline constexpr U64Vector U64_VECTORS[] = {"]
    for text in u64_texts:
        n = to_u64(must_parse(text))
        lines.append(f"    {{{c_string(text)}, {'false' if n is None else 'true'}, {n or 0}u}},")
    lines += ["};", "", "// clang-format on", ""]

    output.write_text("\n".join(lines))
    rows = sum(map(len, (parse_texts, compare_pairs, arithmetic_pairs, f64_texts, u64_texts)))
    print(f"wrote {output}: {rows} rows, {nones} arithmetic results none, "
          f"{not_nearest} float conversions differ from the nearest double", file=sys.stderr)


if __name__ == "__main__":
    main()
