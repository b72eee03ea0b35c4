#include "zelk/duration.hpp"

#include <fmt/format.h>

namespace zelk {

namespace {

// "{whole}.{fraction}{unit}" with the fraction printed to `digits` places and
// its trailing zeros removed.
std::string with_fraction(uint64_t whole, uint64_t fraction, int digits, const char* unit) {
    std::string text = fmt::format("{}", whole);
    if (fraction != 0) {
        std::string frac = fmt::format("{:0{}}", fraction, digits);
        while (!frac.empty() && frac.back() == '0') frac.pop_back();
        text += '.';
        text += frac;
    }
    text += unit;
    return text;
}

}  // namespace

std::string to_human_string(Duration d) {
    if (d.seconds > 0) return with_fraction(d.seconds, d.nanos, 9, "s");
    if (d.nanos >= 1'000'000) return with_fraction(d.nanos / 1'000'000, d.nanos % 1'000'000, 6, "ms");
    if (d.nanos >= 1'000) return with_fraction(d.nanos / 1'000, d.nanos % 1'000, 3, "\u00b5s");
    return fmt::format("{}ns", d.nanos);
}

}  // namespace zelk
