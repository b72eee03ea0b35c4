// Moments: sample count, mean and sum of squared deviations (m2) of a set of
// values, maintained incrementally (Welford) as values join and leave.
//
// Two update families exist because the two volatility indicators differ in
// what leaves a window: the sample-window volatility removes one return at a
// time (add/remove), the timed volatility removes a whole bucket of returns at
// once (merge/remove_group).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>

namespace zelk {

struct Moments {
    uint64_t count = 0;
    double mean = 0.0;
    double m2 = 0.0;

    // Adds one value: m2 grows by (x - new mean) * (x - old mean).
    void add(double x) {
        const double old_mean = mean;
        ++count;
        mean += (x - old_mean) / real(count);
        m2 += (x - mean) * (x - old_mean);
    }

    // Removes one value that was added before. REQUIRES: count > 0.
    void remove(double x) {
        if (count == 1) {
            *this = Moments{};
            return;
        }
        const double old_mean = mean;
        --count;
        mean = old_mean - (x - old_mean) / real(count);
        m2 -= (x - mean) * (x - old_mean);
    }

    // Adds one value as a group of one: m2 grows by (x - old mean)^2 * n / n'.
    void merge(double x) {
        const double n = real(count);
        const double delta = x - mean;
        ++count;
        const double n1 = real(count);
        mean += delta / n1;
        m2 += delta * delta * n / n1;
    }

    // Removes a group whose moments were merged in before.
    // REQUIRES: group.count <= count.
    void remove_group(const Moments& group) {
        if (group.count == count) {
            *this = Moments{};
            return;
        }
        const double n = real(count);
        const double nb = real(group.count);
        count -= group.count;
        const double rest = real(count);
        mean = (mean * n - group.mean * nb) / rest;
        const double gap = group.mean - mean;
        m2 -= group.m2 + gap * gap * rest * nb / n;
    }

    // Population standard deviation, sqrt(max(m2 / count, 0)) (rounding may
    // leave m2 slightly negative); nullopt when empty.
    std::optional<double> volatility() const {
        if (count == 0) return std::nullopt;
        return std::sqrt(std::max(m2 / real(count), 0.0));
    }

    friend bool operator==(const Moments&, const Moments&) = default;

private:
    // Counts stay far below 2^63; the signed conversion is one instruction
    // where the unsigned one is a branchy sequence on x86-64.
    static double real(uint64_t n) { return static_cast<double>(static_cast<int64_t>(n)); }
};

}  // namespace zelk
