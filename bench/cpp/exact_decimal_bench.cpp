// ExactDecimal hot operations: comparison, addition at equal scales,
// multiplication, division, float conversion and parsing. Each benchmark
// cycles through a small set of book-like prices and sizes so nothing is
// constant-folded.
#include <benchmark/benchmark.h>

#include <array>
#include <string_view>

#include "zelk/order_book/exact_decimal.hpp"

namespace {

using zelk::ExactDecimal;

#if !defined(__OPTIMIZE__)
const bool UNOPTIMIZED_WARNING = [] {
    benchmark::AddCustomContext("warning", "built without optimisation; figures mean nothing");
    return true;
}();
#endif

constexpr std::array<std::string_view, 8> PRICES = {
    "100.25", "100.50", "99.75", "101.00", "100.10", "99.90", "100.35", "100.65",
};
constexpr std::array<std::string_view, 8> SIZES = {
    "1.5", "0.25", "12.0", "3.75", "0.001", "250.5", "7.0", "0.5",
};

template <size_t N>
std::array<ExactDecimal, N> parse_all(const std::array<std::string_view, N>& texts) {
    std::array<ExactDecimal, N> out{};
    for (size_t i = 0; i < N; ++i) out[i] = *ExactDecimal::parse(texts[i]);
    return out;
}

void BM_CompareEqualScale(benchmark::State& state) {
    const auto prices = parse_all(PRICES);
    size_t i = 0;
    for (auto _ : state) {
        const bool less = prices[i % 8] < prices[(i + 3) % 8];
        benchmark::DoNotOptimize(less);
        ++i;
    }
}
BENCHMARK(BM_CompareEqualScale);

void BM_CompareMixedScale(benchmark::State& state) {
    const auto prices = parse_all(PRICES);
    const auto sizes = parse_all(SIZES);
    size_t i = 0;
    for (auto _ : state) {
        const bool less = prices[i % 8] < sizes[(i + 3) % 8];
        benchmark::DoNotOptimize(less);
        ++i;
    }
}
BENCHMARK(BM_CompareMixedScale);

void BM_AddEqualScale(benchmark::State& state) {
    const auto prices = parse_all(PRICES);
    size_t i = 0;
    for (auto _ : state) {
        auto sum = prices[i % 8].checked_add(prices[(i + 1) % 8]);
        benchmark::DoNotOptimize(sum);
        ++i;
    }
}
BENCHMARK(BM_AddEqualScale);

void BM_Mul(benchmark::State& state) {
    const auto prices = parse_all(PRICES);
    const auto sizes = parse_all(SIZES);
    size_t i = 0;
    for (auto _ : state) {
        auto product = prices[i % 8].checked_mul(sizes[(i + 5) % 8]);
        benchmark::DoNotOptimize(product);
        ++i;
    }
}
BENCHMARK(BM_Mul);

// A mid-price: (bid + ask) / 2, here just the division.
void BM_DivByTwo(benchmark::State& state) {
    const auto prices = parse_all(PRICES);
    const ExactDecimal two = ExactDecimal::from_integer(2);
    size_t i = 0;
    for (auto _ : state) {
        auto quotient = prices[i % 8].checked_div(two);
        benchmark::DoNotOptimize(quotient);
        ++i;
    }
}
BENCHMARK(BM_DivByTwo);

// An inexact quotient rounded to 28 digits (a weighted price over total size).
void BM_DivInexact(benchmark::State& state) {
    const auto prices = parse_all(PRICES);
    const auto sizes = parse_all(SIZES);
    size_t i = 0;
    for (auto _ : state) {
        auto quotient = prices[i % 8].checked_div(sizes[(i + 3) % 8]);
        benchmark::DoNotOptimize(quotient);
        ++i;
    }
}
BENCHMARK(BM_DivInexact);

void BM_ToF64(benchmark::State& state) {
    const auto prices = parse_all(PRICES);
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(prices[i % 8].to_f64());
        ++i;
    }
}
BENCHMARK(BM_ToF64);

void BM_Parse(benchmark::State& state) {
    size_t i = 0;
    for (auto _ : state) {
        auto parsed = ExactDecimal::parse(PRICES[i % 8]);
        benchmark::DoNotOptimize(parsed);
        ++i;
    }
}
BENCHMARK(BM_Parse);

}  // namespace
