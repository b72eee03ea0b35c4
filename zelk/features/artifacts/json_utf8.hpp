// UTF-8 well-formedness, shared by the JSON reader and writer.
#pragma once

#include <cstddef>
#include <string_view>

namespace zelk::json {

// Length (1 to 4) of the well-formed UTF-8 sequence that starts at s[i], or
// 0 when the bytes there are not one: overlong forms, encoded surrogates,
// values above U+10FFFF and truncated sequences are all refused.
// REQUIRES: i < s.size().
constexpr size_t utf8_sequence_length(std::string_view s, size_t i) {
    const auto byte = [&](size_t k) -> unsigned char {
        return i + k < s.size() ? static_cast<unsigned char>(s[i + k]) : 0;
    };
    const auto cont = [](unsigned char b) { return (b & 0xC0) == 0x80; };
    const unsigned char b0 = byte(0);
    if (b0 < 0x80) return 1;
    if (b0 >= 0xC2 && b0 <= 0xDF) return cont(byte(1)) ? 2 : 0;
    if (b0 >= 0xE0 && b0 <= 0xEF) {
        if (!cont(byte(1)) || !cont(byte(2))) return 0;
        if (b0 == 0xE0 && byte(1) < 0xA0) return 0;  // overlong
        if (b0 == 0xED && byte(1) > 0x9F) return 0;  // UTF-16 surrogate
        return 3;
    }
    if (b0 >= 0xF0 && b0 <= 0xF4) {
        if (!cont(byte(1)) || !cont(byte(2)) || !cont(byte(3))) return 0;
        if (b0 == 0xF0 && byte(1) < 0x90) return 0;  // overlong
        if (b0 == 0xF4 && byte(1) > 0x8F) return 0;  // above U+10FFFF
        return 4;
    }
    return 0;
}

}  // namespace zelk::json
