// Indicator updates with 1, 4 and 16 windows: one input per iteration, then
// every window's value read, which is what a derivation does per event.
// Timed indicators advance 37 ms per input over 100 ms buckets, so the mix
// holds merges into the current bucket, new buckets and expiries.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "zelk/indicators/averages/sma.hpp"
#include "zelk/indicators/counts/trade_count.hpp"
#include "zelk/indicators/returns.hpp"
#include "zelk/indicators/timed_sum.hpp"
#include "zelk/indicators/volatility/rolling_volatility.hpp"
#include "zelk/indicators/volatility/rolling_volatility_timed.hpp"
#include "zelk/indicators/volume/cvd.hpp"
#include "zelk/indicators/volume/obv.hpp"
#include "zelk/indicators/volume/vpt.hpp"

namespace zelk {
namespace {

#ifndef NDEBUG
const bool warned = [] {
    std::fputs("warning: benchmarks built without optimisation; figures are meaningless\n",
               stderr);
    return true;
}();
#endif

constexpr size_t INPUTS = 4096;  // power of two: cycled with a mask
constexpr Duration AGGREGATION{0, 100'000'000};
constexpr Timestamp STEP_MS = 37;

const std::vector<double>& prices() {
    static const std::vector<double> values = [] {
        std::mt19937_64 rng(7);
        std::normal_distribution<double> step(0.0, 0.001);
        std::vector<double> v;
        double price = 100.0;
        for (size_t i = 0; i < INPUTS; ++i) v.push_back(price *= 1.0 + step(rng));
        return v;
    }();
    return values;
}

// Sample windows 5, 10, 15, ...; timed periods 4, 8, 12, ... buckets.
std::vector<uint64_t> periods(const benchmark::State& state, uint64_t unit) {
    std::vector<uint64_t> p;
    for (int64_t i = 1; i <= state.range(0); ++i) p.push_back(static_cast<uint64_t>(i) * unit);
    return p;
}

template <typename Update>
void run(benchmark::State& state, Update&& update) {
    const auto& x = prices();
    size_t i = 0;
    Timestamp t = 0;
    for (auto _ : state) {
        update(t, x[i & (INPUTS - 1)], i);
        ++i;
        t += STEP_MS;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_SimpleReturns(benchmark::State& state) {
    auto r = *Returns::create(ReturnKind::Simple, periods(state, 1));
    run(state, [&](Timestamp, double x, size_t) {
        r.update(x);
        for (size_t w = 0; w < r.lag_count(); ++w) benchmark::DoNotOptimize(r.value(w));
    });
}

void BM_LogReturns(benchmark::State& state) {
    auto r = *Returns::create(ReturnKind::Log, periods(state, 1));
    run(state, [&](Timestamp, double x, size_t) {
        r.update(x);
        for (size_t w = 0; w < r.lag_count(); ++w) benchmark::DoNotOptimize(r.value(w));
    });
}

void BM_RollingVolatility(benchmark::State& state) {
    auto v = *RollingVolatility::create(periods(state, 5), WarmupPolicy::FirstValue);
    run(state, [&](Timestamp, double x, size_t) {
        v.update(x);
        for (size_t w = 0; w < v.window_count(); ++w) benchmark::DoNotOptimize(v.value(w));
    });
}

void BM_CumulativeVolumeDelta(benchmark::State& state) {
    auto cvd = *CumulativeVolumeDelta::create(periods(state, 5), WarmupPolicy::FirstValue);
    run(state, [&](Timestamp, double x, size_t i) {
        cvd.update_inner((i & 1) != 0, x);
        for (size_t w = 0; w < cvd.window_count(); ++w) benchmark::DoNotOptimize(cvd.value(w));
    });
}

void BM_VolumePriceTrend(benchmark::State& state) {
    VolumePriceTrend vpt;
    run(state, [&](Timestamp, double x, size_t) {
        vpt.update(x, 2.0);
        benchmark::DoNotOptimize(vpt.value());
    });
}

void BM_TimedTradeVolume(benchmark::State& state) {
    auto sum = *RollingTimedSum<1>::create(IndicatorKind::TradeVolumeTimed, AGGREGATION,
                                           periods(state, 4), WarmupPolicy::FirstValue);
    run(state, [&](Timestamp t, double x, size_t) {
        sum.update(t, {x});
        for (size_t w = 0; w < sum.window_count(); ++w) benchmark::DoNotOptimize(sum.sums(w));
    });
}

void BM_TimedVwap(benchmark::State& state) {
    auto sum = *RollingTimedSum<2>::create(IndicatorKind::VwapTimed, AGGREGATION,
                                           periods(state, 4), WarmupPolicy::FirstValue);
    run(state, [&](Timestamp t, double x, size_t) {
        sum.update(t, {x * 2.0, 2.0});
        for (size_t w = 0; w < sum.window_count(); ++w) {
            benchmark::DoNotOptimize(sum.sums(w)[0] / sum.sums(w)[1]);
        }
    });
}

void BM_TimedTradeCount(benchmark::State& state) {
    auto count = *TradeCountTimed::create(AGGREGATION, Duration{2, 0}, WarmupPolicy::FirstValue);
    run(state, [&](Timestamp t, double, size_t) {
        count.update(t);
        benchmark::DoNotOptimize(count.count());
    });
}

void BM_TimedSma(benchmark::State& state) {
    auto sma = *SimpleMovingAverageTimed::create(AGGREGATION, periods(state, 4),
                                                 WarmupPolicy::FirstValue);
    run(state, [&](Timestamp t, double x, size_t) {
        sma.update(t, x);
        for (size_t w = 0; w < sma.window_count(); ++w) benchmark::DoNotOptimize(sma.average(w));
    });
}

void BM_TimedVolatility(benchmark::State& state) {
    auto v = *RollingVolatilityTimed::create(AGGREGATION, periods(state, 4),
                                             WarmupPolicy::FirstValue);
    run(state, [&](Timestamp t, double x, size_t) {
        v.update(t, x);
        for (size_t w = 0; w < v.window_count(); ++w) benchmark::DoNotOptimize(v.volatility(w));
    });
}

void BM_TimedObv(benchmark::State& state) {
    auto obv = *OnBalanceVolumeTimed::create(AGGREGATION, periods(state, 4),
                                             WarmupPolicy::FirstValue);
    run(state, [&](Timestamp t, double x, size_t) {
        obv.update(t, x, 2.0);
        for (size_t w = 0; w < obv.window_count(); ++w) {
            benchmark::DoNotOptimize(obv.signed_volume(w));
        }
    });
}

// Three observes (time passing without input) for every update.
void BM_TimedSmaMostlyObserve(benchmark::State& state) {
    auto sma = *SimpleMovingAverageTimed::create(AGGREGATION, periods(state, 4),
                                                 WarmupPolicy::FirstValue);
    run(state, [&](Timestamp t, double x, size_t i) {
        if (i % 4 == 0) {
            sma.update(t, x);
        } else {
            benchmark::DoNotOptimize(sma.observe(t));
        }
        for (size_t w = 0; w < sma.window_count(); ++w) benchmark::DoNotOptimize(sma.average(w));
    });
}

BENCHMARK(BM_SimpleReturns)->Arg(1)->Arg(4)->Arg(16);
BENCHMARK(BM_LogReturns)->Arg(1)->Arg(4)->Arg(16);
BENCHMARK(BM_RollingVolatility)->Arg(1)->Arg(4)->Arg(16);
BENCHMARK(BM_CumulativeVolumeDelta)->Arg(1)->Arg(4)->Arg(16);
BENCHMARK(BM_VolumePriceTrend);
BENCHMARK(BM_TimedTradeVolume)->Arg(1)->Arg(4)->Arg(16);
BENCHMARK(BM_TimedVwap)->Arg(1)->Arg(4)->Arg(16);
BENCHMARK(BM_TimedTradeCount);
BENCHMARK(BM_TimedSma)->Arg(1)->Arg(4)->Arg(16);
BENCHMARK(BM_TimedVolatility)->Arg(1)->Arg(4)->Arg(16);
BENCHMARK(BM_TimedObv)->Arg(1)->Arg(4)->Arg(16);
BENCHMARK(BM_TimedSmaMostlyObserve)->Arg(1)->Arg(4)->Arg(16);

}  // namespace
}  // namespace zelk
