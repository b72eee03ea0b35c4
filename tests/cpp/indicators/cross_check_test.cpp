// Differential tests: every incremental indicator against a direct
// recomputation from the raw inputs of a few thousand random events, with
// fixed seeds. The references rescan the inputs that lie inside each window
// after every event and share no code with the indicators.
//
// Agreement is required to 1e-12 relative to the larger of two magnitudes:
// the window's own (sum of |term| inside it; for variances, the mean square
// of its returns) and the largest single input seen so far. The second one is
// needed because running sums and Welford moments are corrected by
// subtraction: the rounding of every value that passed through a window stays
// in it, so a window whose terms cancel (a balanced volume delta) or that
// follows a spike (a price of 0.0 gives a return of -1) carries an absolute
// error of a few ulps of those earlier values. A logic fault (a wrong term
// added or removed) is many orders of magnitude above this bound.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
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

namespace zelk {
namespace {

constexpr double TOLERANCE = 1e-12;
constexpr int EVENTS = 4000;

bool same_nan(double a, double b) { return std::isnan(a) && std::isnan(b); }

// |actual - expected| <= TOLERANCE * scale, or both NaN.
void expect_close(double actual, double expected, double scale, const char* what, int step,
                  size_t window) {
    if (same_nan(actual, expected)) return;
    ASSERT_FALSE(std::isnan(actual) || std::isnan(expected))
        << what << " step " << step << " window " << window << ": " << actual << " vs "
        << expected;
    ASSERT_LE(std::abs(actual - expected), TOLERANCE * scale)
        << what << " step " << step << " window " << window << ": " << actual << " vs "
        << expected;
}

struct Stats {
    double variance = 0.0;
    double mean_square = 0.0;
};
Stats population_stats(const std::vector<double>& values) {
    double mean = 0.0;
    for (double v : values) mean += v;
    mean /= static_cast<double>(values.size());
    Stats s;
    for (double v : values) {
        s.variance += (v - mean) * (v - mean);
        s.mean_square += v * v;
    }
    s.variance /= static_cast<double>(values.size());
    s.mean_square /= static_cast<double>(values.size());
    return s;
}

// A random walk with occasional exact zeros, which must form no return.
std::vector<double> random_prices(uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> step(0.0, 0.01);
    std::uniform_int_distribution<int> percent(0, 99);
    std::vector<double> prices;
    double price = 100.0;
    for (int i = 0; i < EVENTS; ++i) {
        price *= 1.0 + step(rng);
        prices.push_back(percent(rng) == 0 ? 0.0 : price);
    }
    return prices;
}

TEST(CrossCheck, ReturnsMatchDirectRecomputation) {
    const uint64_t lags[] = {1, 2, 7, 16};
    for (const ReturnKind kind : {ReturnKind::Simple, ReturnKind::Log}) {
        auto returns = *Returns::create(kind, lags);
        std::vector<double> inputs;
        const auto prices = random_prices(11);
        for (int step = 0; step < EVENTS; ++step) {
            // Negative values too, for the log form's NaN rule.
            const double x = step % 97 == 5 ? -prices[step] : prices[step];
            inputs.push_back(x);
            returns.update(x);
            for (size_t i = 0; i < 4; ++i) {
                double expected = NAN;
                if (inputs.size() > lags[i]) {
                    const double now = inputs.back();
                    const double old = inputs[inputs.size() - 1 - lags[i]];
                    if (kind == ReturnKind::Simple) {
                        if (old != 0.0) expected = (now - old) / old;
                    } else if (now > 0.0 && old > 0.0) {
                        expected = std::log(now) - std::log(old);
                    }
                }
                expect_close(returns.value(i), expected, std::abs(expected), "returns", step, i);
            }
        }
    }
}

TEST(CrossCheck, RollingVolatilityMatchesDirectRecomputation) {
    const uint64_t windows[] = {1, 2, 5, 17, 64};
    for (const WarmupPolicy warmup : {WarmupPolicy::FirstValue, WarmupPolicy::FullWindow}) {
        auto volatility = *RollingVolatility::create(windows, warmup);
        std::vector<double> returns;
        std::optional<double> previous;
        double largest_square = 0.0;
        const auto prices = random_prices(23);
        for (int step = 0; step < EVENTS; ++step) {
            const double x = prices[step];
            volatility.update(x);
            if (previous && *previous != 0.0) {
                returns.push_back((x - *previous) / *previous);
                largest_square = std::max(largest_square, returns.back() * returns.back());
            }
            previous = x;
            for (size_t w = 0; w < 5; ++w) {
                const size_t n = windows[w];
                const double actual = volatility.value(w);
                const bool warm = warmup == WarmupPolicy::FirstValue ? !returns.empty()
                                                                     : returns.size() >= n;
                if (!warm) {
                    ASSERT_TRUE(std::isnan(actual)) << "step " << step << " window " << w;
                    continue;
                }
                const size_t k = std::min(n, returns.size());
                const auto stats =
                    population_stats(std::vector<double>(returns.end() - k, returns.end()));
                expect_close(actual * actual, stats.variance,
                             std::max(stats.mean_square, largest_square), "volatility", step, w);
            }
        }
    }
}

TEST(CrossCheck, CumulativeVolumeDeltaMatchesDirectRecomputation) {
    const uint64_t windows[] = {1, 3, 10, 50};
    std::mt19937_64 rng(37);
    std::uniform_real_distribution<double> volume(0.0, 5.0);
    std::bernoulli_distribution sell(0.5);
    for (const WarmupPolicy warmup : {WarmupPolicy::FirstValue, WarmupPolicy::FullWindow}) {
        auto cvd = *CumulativeVolumeDelta::create(windows, warmup);
        std::vector<double> signed_volumes;
        double largest = 0.0;
        for (int step = 0; step < EVENTS; ++step) {
            const bool is_sell = sell(rng);
            const double v = volume(rng);
            largest = std::max(largest, v);
            cvd.update_inner(is_sell, v);
            signed_volumes.push_back(is_sell ? -v : v);
            for (size_t w = 0; w < 4; ++w) {
                const size_t n = windows[w];
                if (warmup == WarmupPolicy::FullWindow && signed_volumes.size() < n) {
                    ASSERT_TRUE(std::isnan(cvd.value(w)));
                    continue;
                }
                const size_t k = std::min(n, signed_volumes.size());
                double sum = 0.0, scale = 0.0;
                for (size_t i = signed_volumes.size() - k; i < signed_volumes.size(); ++i) {
                    sum += signed_volumes[i];
                    scale += std::abs(signed_volumes[i]);
                }
                expect_close(cvd.value(w), sum, std::max(scale, largest), "cvd", step, w);
            }
        }
    }
}

// A random stream for the timed indicators: repeated timestamps, small steps,
// gaps longer than every window, negative times, and events that only let
// time pass.
struct TimedEvent {
    Timestamp t;
    bool input;
    double price;
    double volume;
};
std::vector<TimedEvent> random_timed_events(uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_int_distribution<int> percent(0, 99);
    std::uniform_int_distribution<Timestamp> small_step(1, 400);
    std::uniform_real_distribution<double> volume(0.01, 3.0);
    std::normal_distribution<double> move(0.0, 0.01);
    std::vector<TimedEvent> events;
    Timestamp t = -20'000;
    double price = 50.0;
    for (int i = 0; i < EVENTS; ++i) {
        const int roll = percent(rng);
        if (roll < 15) {
            // same timestamp
        } else if (roll < 97) {
            t += small_step(rng);
        } else {
            t += 9'000;
        }
        price *= 1.0 + move(rng);
        const bool input = percent(rng) < 70;
        events.push_back({t, input, percent(rng) == 0 ? 0.0 : price, volume(rng)});
    }
    return events;
}

constexpr int64_t A = 250;  // aggregation in ms
constexpr Duration AGGREGATION{0, 250'000'000};
const uint64_t TIMED_PERIODS[] = {1, 4, 13, 32};

int64_t bucket(Timestamp t) { return floor_div(t, A); }

bool reference_ready(WarmupPolicy warmup, std::optional<Timestamp> first, Timestamp now,
                     uint64_t period) {
    if (!first) return false;
    return warmup == WarmupPolicy::FirstValue ||
           now - *first >= static_cast<int64_t>(period) * A;
}

TEST(CrossCheck, TimedSumsAndCountMatchDirectRecomputation) {
    for (const WarmupPolicy warmup : {WarmupPolicy::FirstValue, WarmupPolicy::FullWindow}) {
        auto volume = *RollingTimedSum<1>::create(IndicatorKind::TradeVolumeTimed, AGGREGATION,
                                                  TIMED_PERIODS, warmup);
        auto vwap = *RollingTimedSum<2>::create(IndicatorKind::VwapTimed, AGGREGATION,
                                                TIMED_PERIODS, warmup);
        auto count = *TradeCountTimed::create(AGGREGATION, Duration{3, 250'000'000}, warmup);
        std::vector<TimedEvent> inputs;
        std::optional<Timestamp> first;
        double largest_volume = 0.0, largest_notional = 0.0;
        const auto events = random_timed_events(41);
        for (int step = 0; step < EVENTS; ++step) {
            const TimedEvent& e = events[step];
            if (e.input) {
                volume.update(e.t, {e.volume});
                vwap.update(e.t, {e.price * e.volume, e.volume});
                count.update(e.t);
                inputs.push_back(e);
                if (!first) first = e.t;
                largest_volume = std::max(largest_volume, e.volume);
                largest_notional = std::max(largest_notional, std::abs(e.price * e.volume));
            } else {
                volume.observe(e.t);
                vwap.observe(e.t);
                count.observe(e.t);
            }
            const int64_t current = bucket(e.t);
            for (size_t w = 0; w < 4; ++w) {
                const uint64_t p = TIMED_PERIODS[w];
                double v = 0.0, pv = 0.0, pv_scale = 0.0;
                for (const TimedEvent& in : inputs) {
                    if (current - bucket(in.t) >= static_cast<int64_t>(p)) continue;
                    v += in.volume;
                    pv += in.price * in.volume;
                    pv_scale += std::abs(in.price * in.volume);
                }
                ASSERT_EQ(volume.ready(w), reference_ready(warmup, first, e.t, p));
                ASSERT_EQ(vwap.ready(w), volume.ready(w));
                if (v == 0.0) {
                    ASSERT_EQ(volume.sums(w)[0], 0.0);  // emptied windows reset exactly
                    ASSERT_EQ(vwap.sums(w)[0], 0.0);
                }
                const double v_scale = std::max(v, largest_volume);
                expect_close(volume.sums(w)[0], v, v_scale, "volume", step, w);
                expect_close(vwap.sums(w)[1], v, v_scale, "vwap volume", step, w);
                expect_close(vwap.sums(w)[0], pv, std::max(pv_scale, largest_notional),
                             "vwap notional", step, w);
            }
            double trades = 0.0;
            for (const TimedEvent& in : inputs) trades += current - bucket(in.t) < 13 ? 1.0 : 0.0;
            ASSERT_EQ(count.count(), trades);
            ASSERT_EQ(count.ready(), reference_ready(warmup, first, e.t, 13));
        }
    }
}

TEST(CrossCheck, TimedAverageVolatilityAndObvMatchDirectRecomputation) {
    const WarmupPolicy warmup = WarmupPolicy::FirstValue;
    auto sma = *SimpleMovingAverageTimed::create(AGGREGATION, TIMED_PERIODS, warmup);
    auto volatility = *RollingVolatilityTimed::create(AGGREGATION, TIMED_PERIODS, warmup);
    auto obv = *OnBalanceVolumeTimed::create(AGGREGATION, TIMED_PERIODS, warmup);

    struct Return {
        int64_t bucket;
        double r;
    };
    std::vector<TimedEvent> inputs;
    std::vector<Return> returns;
    double largest_price = 0.0, largest_volume = 0.0, largest_square = 0.0;
    const auto events = random_timed_events(53);
    for (int step = 0; step < EVENTS; ++step) {
        const TimedEvent& e = events[step];
        if (e.input) {
            sma.update(e.t, e.price);
            volatility.update(e.t, e.price);
            obv.update(e.t, e.price, e.volume);
            if (!inputs.empty() && inputs.back().price != 0.0) {
                const double p = inputs.back().price;
                returns.push_back({bucket(e.t), (e.price - p) / p});
                largest_square = std::max(largest_square, returns.back().r * returns.back().r);
            }
            inputs.push_back(e);
            largest_price = std::max(largest_price, std::abs(e.price));
            largest_volume = std::max(largest_volume, e.volume);
        } else {
            sma.observe(e.t);
            volatility.observe(e.t);
            obv.observe(e.t);
        }

        // Every bucket that ever held an input, oldest first: its mean,
        // close, volume and direction against the bucket before it.
        struct Bucket {
            int64_t index;
            double sum = 0.0, samples = 0.0, close = 0.0, volume = 0.0, direction = 0.0;
        };
        std::vector<Bucket> buckets;
        for (const TimedEvent& in : inputs) {
            if (buckets.empty() || buckets.back().index != bucket(in.t)) {
                buckets.push_back({bucket(in.t)});
            }
            Bucket& b = buckets.back();
            b.sum += in.price;
            b.samples += 1.0;
            b.close = in.price;
            b.volume += in.volume;
        }
        for (size_t i = 1; i < buckets.size(); ++i) {
            const double diff = buckets[i].close - buckets[i - 1].close;
            buckets[i].direction = diff > 0 ? 1.0 : diff < 0 ? -1.0 : 0.0;
        }

        const int64_t current = bucket(e.t);
        for (size_t w = 0; w < 4; ++w) {
            const int64_t p = static_cast<int64_t>(TIMED_PERIODS[w]);
            double mean_sum = 0.0, mean_scale = 0.0, obv_sum = 0.0, obv_scale = 0.0;
            size_t count = 0;
            for (const Bucket& b : buckets) {
                if (current - b.index >= p) continue;
                mean_sum += b.sum / b.samples;
                mean_scale += std::abs(b.sum / b.samples);
                obv_sum += b.direction * b.volume;
                obv_scale += b.volume;
                ++count;
            }
            ASSERT_EQ(sma.bucket_count(w), count) << "step " << step;
            const double average = count == 0 ? 0.0 : mean_sum / static_cast<double>(count);
            expect_close(sma.average(w), average, std::max(mean_scale, largest_price), "sma", step,
                         w);
            expect_close(obv.signed_volume(w), obv_sum, std::max(obv_scale, largest_volume), "obv",
                         step, w);

            std::vector<double> in_window;
            for (const Return& r : returns) {
                if (current - r.bucket < p) in_window.push_back(r.r);
            }
            const auto actual = volatility.volatility(w);
            ASSERT_EQ(actual.has_value(), !in_window.empty()) << "step " << step;
            if (actual) {
                const auto stats = population_stats(in_window);
                expect_close(*actual * *actual, stats.variance,
                             std::max(stats.mean_square, largest_square), "timed volatility",
                             step, w);
            }
        }
    }
}

}  // namespace
}  // namespace zelk
