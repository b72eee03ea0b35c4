// A non-negative span of time as seconds plus nanoseconds, the form in which
// users give aggregations and windows before they are reduced to whole
// milliseconds.
#pragma once

#include <cstdint>
#include <string>

namespace zelk {

struct Duration {
    uint64_t seconds = 0;
    uint32_t nanos = 0;  // 0 to 999'999'999

    static constexpr Duration from_millis(uint64_t millis) {
        return Duration{millis / 1000, static_cast<uint32_t>(millis % 1000) * 1'000'000u};
    }
    friend bool operator==(const Duration&, const Duration&) = default;
};

// Adaptive human form: the largest of s, ms, µs, ns in which the value is at
// least 1, with a decimal fraction whose trailing zeros are dropped
// (1.5ms, 2s, 1ns, 250µs). Zero prints as 0ns.
std::string to_human_string(Duration duration);

}  // namespace zelk
