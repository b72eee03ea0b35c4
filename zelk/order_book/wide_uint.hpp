// Fixed-width unsigned integers for the intermediates of exact decimal
// arithmetic.
//
// Aligning two 96-bit coefficients to a common scale multiplies one of them by
// up to 10^28 (about 2^93), and the product of two coefficients needs 192
// bits, so 128-bit integers are not enough. WideUint<N> holds N 64-bit limbs,
// least significant first, lives on the stack and never allocates. Only the
// operations the decimal type needs are provided. Not thread-aware: plain
// values.
#pragma once

#include <array>
#include <bit>
#include <compare>
#include <cstddef>
#include <cstdint>

namespace zelk::detail {

using u128 = unsigned __int128;

// (high * 2^64 + low) / divisor with the remainder in `remainder`.
// REQUIRES high < divisor, so the quotient fits 64 bits. On x86-64 this is one
// hardware division instead of the generic 128-bit library routine.
constexpr uint64_t divide_128_by_64(uint64_t high, uint64_t low, uint64_t divisor,
                                    uint64_t& remainder) {
#if defined(__x86_64__)
    if !consteval {
        uint64_t quotient;
        __asm__("divq %[d]"
                : "=a"(quotient), "=d"(remainder)
                : [d] "rm"(divisor), "a"(low), "d"(high));
        return quotient;
    }
#endif
    const u128 value = (u128{high} << 64) | low;
    remainder = static_cast<uint64_t>(value % divisor);
    return static_cast<uint64_t>(value / divisor);
}

template <size_t N>
struct WideUint {
    static_assert(N >= 2);
    std::array<uint64_t, N> limbs{};

    static constexpr WideUint from_u128(u128 value) {
        WideUint w;
        w.limbs[0] = static_cast<uint64_t>(value);
        w.limbs[1] = static_cast<uint64_t>(value >> 64);
        return w;
    }

    constexpr bool is_zero() const {
        for (uint64_t limb : limbs)
            if (limb != 0) return false;
        return true;
    }

    // Number of significant bits; 0 for zero.
    constexpr uint32_t bit_length() const {
        for (size_t i = N; i-- > 0;) {
            if (limbs[i] != 0) {
                return static_cast<uint32_t>(64 * i + 64 - std::countl_zero(limbs[i]));
            }
        }
        return 0;
    }

    // Number of significant limbs; 0 for zero.
    constexpr size_t used_limbs() const {
        for (size_t i = N; i-- > 0;)
            if (limbs[i] != 0) return i + 1;
        return 0;
    }

    constexpr bool fits_u128() const { return used_limbs() <= 2; }
    // The low 128 bits.
    constexpr u128 low_u128() const { return (u128{limbs[1]} << 64) | limbs[0]; }

    // *this *= factor; returns the limb carried out of the top (0 unless it overflowed).
    constexpr uint64_t mul_u64(uint64_t factor) {
        uint64_t carry = 0;
        for (size_t i = 0; i < N; ++i) {
            const u128 p = u128{limbs[i]} * factor + carry;
            limbs[i] = static_cast<uint64_t>(p);
            carry = static_cast<uint64_t>(p >> 64);
        }
        return carry;
    }

    // *this += other; returns the carry out of the top.
    constexpr uint64_t add(const WideUint& other) {
        uint64_t carry = 0;
        for (size_t i = 0; i < N; ++i) {
            const u128 s = u128{limbs[i]} + other.limbs[i] + carry;
            limbs[i] = static_cast<uint64_t>(s);
            carry = static_cast<uint64_t>(s >> 64);
        }
        return carry;
    }

    // *this += 1; returns the carry out of the top.
    constexpr uint64_t increment() {
        for (size_t i = 0; i < N; ++i)
            if (++limbs[i] != 0) return 0;
        return 1;
    }

    // *this -= other; returns the borrow out of the top (1 when other > *this).
    constexpr uint64_t sub(const WideUint& other) {
        uint64_t borrow = 0;
        for (size_t i = 0; i < N; ++i) {
            const u128 d = u128{limbs[i]} - other.limbs[i] - borrow;
            limbs[i] = static_cast<uint64_t>(d);
            borrow = static_cast<uint64_t>(d >> 64) != 0 ? 1 : 0;
        }
        return borrow;
    }

    // *this /= divisor; returns the remainder. REQUIRES divisor != 0.
    constexpr uint64_t divmod_u64(uint64_t divisor) {
        uint64_t rem = 0;
        for (size_t i = used_limbs(); i-- > 0;) {
            limbs[i] = divide_128_by_64(rem, limbs[i], divisor, rem);
        }
        return rem;
    }

    friend constexpr std::strong_ordering operator<=>(const WideUint& a, const WideUint& b) {
        for (size_t i = N; i-- > 0;) {
            if (a.limbs[i] != b.limbs[i]) return a.limbs[i] <=> b.limbs[i];
        }
        return std::strong_ordering::equal;
    }
    friend constexpr bool operator==(const WideUint&, const WideUint&) = default;
};

// Full product of two N-limb numbers, truncated to the low N limbs; callers
// size N so that the true product fits.
template <size_t N>
constexpr WideUint<N> multiply(const WideUint<N>& a, const WideUint<N>& b) {
    WideUint<N> out;
    for (size_t i = 0; i < N; ++i) {
        if (a.limbs[i] == 0) continue;
        uint64_t carry = 0;
        for (size_t j = 0; i + j < N; ++j) {
            const u128 p = u128{a.limbs[i]} * b.limbs[j] + out.limbs[i + j] + carry;
            out.limbs[i + j] = static_cast<uint64_t>(p);
            carry = static_cast<uint64_t>(p >> 64);
        }
    }
    return out;
}

template <size_t N>
struct DivMod {
    WideUint<N> quotient;
    WideUint<N> remainder;
};

// Long division (Knuth, The Art of Computer Programming vol. 2, 4.3.1,
// algorithm D) with 64-bit digits. REQUIRES divisor != 0.
template <size_t N>
constexpr DivMod<N> divmod(const WideUint<N>& dividend, const WideUint<N>& divisor) {
    DivMod<N> out;
    const size_t n = divisor.used_limbs();
    const size_t m = dividend.used_limbs();
    if (n == 1) {
        out.quotient = dividend;
        out.remainder.limbs[0] = out.quotient.divmod_u64(divisor.limbs[0]);
        return out;
    }
    if (m < n || dividend < divisor) {
        out.remainder = dividend;
        return out;
    }

    // Normalise so the divisor's top limb has its high bit set; the dividend
    // gains one limb.
    const int shift = std::countl_zero(divisor.limbs[n - 1]);
    std::array<uint64_t, N> v{};
    std::array<uint64_t, N + 1> u{};
    for (size_t i = n; i-- > 0;) {
        v[i] = divisor.limbs[i] << shift;
        if (shift != 0 && i > 0) v[i] |= divisor.limbs[i - 1] >> (64 - shift);
    }
    u[m] = shift != 0 ? dividend.limbs[m - 1] >> (64 - shift) : 0;
    for (size_t i = m; i-- > 0;) {
        u[i] = dividend.limbs[i] << shift;
        if (shift != 0 && i > 0) u[i] |= dividend.limbs[i - 1] >> (64 - shift);
    }

    constexpr u128 BASE = u128{1} << 64;
    for (size_t j = m - n + 1; j-- > 0;) {
        // Estimate the quotient digit from the top two limbs, capped at
        // BASE - 1 (the true digit never exceeds it), then refine with the
        // third limb; afterwards it is at most one too large.
        const u128 top = (u128{u[j + n]} << 64) | u[j + n - 1];
        u128 qhat = top / v[n - 1];
        if (qhat >= BASE) qhat = BASE - 1;
        u128 rhat = top - qhat * v[n - 1];
        while (rhat < BASE && qhat * v[n - 2] > ((rhat << 64) | u[j + n - 2])) {
            --qhat;
            rhat += v[n - 1];
        }

        // u[j .. j+n] -= qhat * v
        uint64_t carry = 0;
        uint64_t borrow = 0;
        for (size_t i = 0; i < n; ++i) {
            const u128 p = qhat * v[i] + carry;
            carry = static_cast<uint64_t>(p >> 64);
            const u128 d = u128{u[i + j]} - static_cast<uint64_t>(p) - borrow;
            u[i + j] = static_cast<uint64_t>(d);
            borrow = static_cast<uint64_t>(d >> 64) != 0 ? 1 : 0;
        }
        const u128 d = u128{u[j + n]} - carry - borrow;
        u[j + n] = static_cast<uint64_t>(d);

        if (static_cast<uint64_t>(d >> 64) != 0) {
            // The estimate was one too large: add the divisor back once.
            --qhat;
            uint64_t c = 0;
            for (size_t i = 0; i < n; ++i) {
                const u128 s = u128{u[i + j]} + v[i] + c;
                u[i + j] = static_cast<uint64_t>(s);
                c = static_cast<uint64_t>(s >> 64);
            }
            u[j + n] += c;
        }
        out.quotient.limbs[j] = static_cast<uint64_t>(qhat);
    }

    // Undo the normalisation on the remainder, which sits in u[0 .. n-1].
    for (size_t i = 0; i < n; ++i) {
        out.remainder.limbs[i] = u[i] >> shift;
        if (shift != 0) out.remainder.limbs[i] |= u[i + 1] << (64 - shift);
    }
    return out;
}

}  // namespace zelk::detail
