// Tables of powers of ten for the exact decimal arithmetic and the dense
// grid's index computations, built at compile time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zelk::detail {

// 10^0 .. 10^(N-1) in T. REQUIRES: 10^(N-1) fits T.
template <typename T, size_t N>
constexpr std::array<T, N> powers_of_ten() {
    std::array<T, N> table{};
    T p = 1;
    for (auto& entry : table) {
        entry = p;
        p *= 10;
    }
    return table;
}

// Every power of ten that fits 64 bits (10^0 .. 10^19).
inline constexpr auto POW10_U64 = powers_of_ten<uint64_t, 20>();
// Every power of ten that fits 128 bits (10^0 .. 10^38).
inline constexpr auto POW10_U128 = powers_of_ten<unsigned __int128, 39>();

}  // namespace zelk::detail
