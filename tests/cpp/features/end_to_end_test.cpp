// End-to-end run of an extractor built from a spec with one feature of every
// key kind, spread over a sparse-book symbol, a dense-book symbol and the
// global scope. A seeded mixed stream (prices, volumes, trades with and
// without side, clock ticks, snapshots, deltas, refused events and context
// batches) is replayed, and after every step every cell and every mask byte
// is compared with references recomputed in this file from the raw inputs:
// a map-based book with integer ticks and lots, the kept price and trade
// histories, and bucket scans for the timed windows.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <deque>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "zelk/features/spec.hpp"
#include "zelk/symbols.hpp"

namespace zelk {
namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr Timestamp DAY = 86'400'000;
constexpr Timestamp HOUR = 3'600'000;
constexpr uint32_t PRICE_SCALE = 2;  // book prices are counted in hundredths
constexpr uint32_t SIZE_SCALE = 3;   // book sizes are counted in thousandths

uint64_t magnitude(int64_t v) {
    return v < 0 ? uint64_t{0} - uint64_t(v) : uint64_t(v);
}
uint64_t pow10(uint32_t s) {
    uint64_t p = 1;
    while (s-- > 0) p *= 10;
    return p;
}
ExactDecimal decimal(int64_t units, uint32_t scale) {
    return *ExactDecimal::from_parts(magnitude(units), scale, units < 0);
}
// The plain text of units x 10^-scale, as book errors print decimals.
std::string plain(int64_t units, uint32_t scale) {
    const uint64_t m = magnitude(units), p = pow10(scale);
    return fmt::format("{}{}.{:0{}}", units < 0 ? "-" : "", m / p, m % p, scale);
}
// The exact-decimal-to-double rule of output cells, written out step by step.
double by_rule(int64_t units, uint32_t scale) {
    const uint64_t c = magnitude(units), p = pow10(scale);
    double v = static_cast<double>(c);
    if (scale > 0) {
        const double f = static_cast<double>(c % p) / static_cast<double>(p);
        v = static_cast<double>(c / p);
        if (f != 0.0) {
            double q = 1.0;
            for (uint32_t i = 0; i < scale; ++i) q *= 10.0;
            v = std::round((f + v) * q) / q;
        }
    }
    return units < 0 ? -v : v;
}
double price_value(int64_t units) {
    return by_rule(units, PRICE_SCALE);
}
double size_value(int64_t lots) {
    return by_rule(lots, SIZE_SCALE);
}
// num / den for integers far below 2^53: one correctly rounded division.
double quotient(int64_t num, int64_t den) {
    return static_cast<double>(num) / static_cast<double>(den);
}

// Book cells that come out of a decimal division (mid, bps, weighted mid,
// microprice, imbalance) are compared with a tolerance: the quotient is
// rounded to the 96-bit coefficient and its scale is the decimal type's
// choice, and the conversion rule (which multiplies and divides by a
// rounded 10^scale) then lands within a few ulps of the correctly rounded
// value the reference computes. Exact sums, prices and sizes compare
// bitwise. 1e-14 relative is ~45 ulps, far below any formula error.
constexpr double QUOTIENT_REL = 1e-14, QUOTIENT_ABS = 1e-15;
// Timed averages add and subtract rounded bucket means incrementally, the
// reference sums them afresh.
constexpr double AVERAGE_REL = 1e-12;
// Volatilities are kept as running moments from which leaving returns are
// subtracted, so m2 keeps a rounding residue of a few ulps of the largest
// squared return that passed through the window (a return of -1 after a
// zero price leaves ~1e-16). After the square root that residue shows where
// the true value is 0, so the absolute slack scales with the largest
// squared return of the series: sqrt(1e-13 * max r^2).
constexpr double VOLATILITY_REL = 1e-9;

// ---------------------------------------------------------------- book model

struct RefChange {
    bool ask;
    int64_t price;  // hundredths
    int64_t size;   // thousandths
};

// The snapshot/delta protocol with its history and resynchronisation, over
// integer ticks and lots, as a second implementation to predict outcomes.
class RefBook {
  public:
    struct Grid {
        int64_t tick, min, max;
    };
    struct Outcome {
        std::optional<std::string> error;  // without the "order-book update failed: " prefix
        bool applied = false;              // Applied or Resynchronized
        bool resynchronized = false;
    };

    RefBook(UpdatePolicy policy, size_t capacity, std::optional<Grid> grid)
        : policy_(policy), capacity_(capacity), grid_(grid) {}

    Outcome delta(uint64_t id, std::vector<RefChange> changes) {
        if (auto bad = first_invalid(changes)) return {bad};
        const size_t held = history_.size();
        if (!history_.empty()) {
            const uint64_t back = history_.back().id;
            if (id <= back) return {};
            if (id != back + 1 && policy_ == UpdatePolicy::Contiguous) {
                if (held == capacity_) return overflow(held);
                if (state_ == State::Synchronized) state_ = State::Resynchronizing;
                history_.push_back({id, std::move(changes)});
                return {gap(back + 1, id)};
            }
        }
        if (state_ != State::Synchronized) {
            if (held == capacity_) return overflow(held);
            history_.push_back({id, std::move(changes)});
            return {};
        }
        if (id <= last_id_) return {};
        if (held == capacity_) return overflow(held);
        history_.push_back({id, std::move(changes)});
        if (id == last_id_ + 1 || policy_ == UpdatePolicy::Monotonic) {
            apply(history_.back());
            return {std::nullopt, true};
        }
        state_ = State::Resynchronizing;
        return {gap(last_id_ + 1, id)};
    }

    Outcome snapshot(uint64_t id, const std::vector<RefChange>& bids,
                     const std::vector<RefChange>& asks) {
        const bool resync = state_ == State::Resynchronizing;
        if (auto bad = first_invalid(bids)) return {bad};
        if (auto bad = first_invalid(asks)) return {bad};
        if (snapshot_id_ && id <= *snapshot_id_) {
            return {fmt::format("snapshot {} is not newer than current snapshot {}", id,
                                *snapshot_id_)};
        }
        if (policy_ == UpdatePolicy::Contiguous) {
            uint64_t expected = id + 1;
            for (const auto& d : history_) {
                if (d.id <= id) continue;
                if (d.id != expected) {
                    return {fmt::format("snapshot {} requires update ID {}, received {}", id,
                                        expected, d.id)};
                }
                ++expected;
            }
        }
        bids_.clear();
        asks_.clear();
        for (const auto& c : bids) set(c);
        for (const auto& c : asks) set(c);
        last_id_ = id;
        snapshot_id_ = id;
        std::erase_if(history_, [&](const Delta& d) { return d.id <= id; });
        for (const auto& d : history_) apply(d);
        state_ = State::Synchronized;
        has_value_ = true;
        return {std::nullopt, true, resync};
    }

    // True once a snapshot has been applied: book cells leave NaN then.
    bool has_value() const { return has_value_; }
    // (price, size) pairs of one side, best first.
    std::vector<std::pair<int64_t, int64_t>> levels(bool ask) const {
        if (ask) return {asks_.begin(), asks_.end()};
        return {bids_.rbegin(), bids_.rend()};
    }
    std::optional<int64_t> size_at(bool ask, int64_t price) const {
        const auto& side = ask ? asks_ : bids_;
        const auto it = side.find(price);
        return it == side.end() ? std::nullopt : std::optional(it->second);
    }

  private:
    enum class State { Awaiting, Synchronized, Resynchronizing };
    struct Delta {
        uint64_t id;
        std::vector<RefChange> changes;
    };

    std::optional<std::string> first_invalid(const std::vector<RefChange>& changes) const {
        for (const auto& c : changes) {
            const bool on_side =
                grid_ ? c.price >= grid_->min && c.price <= grid_->max && c.price % grid_->tick == 0
                      : c.price >= 0;
            if (c.size < 0 || !on_side) {
                return fmt::format("invalid {} level update with price {} and size {}",
                                   c.ask ? "Ask" : "Bid", plain(c.price, PRICE_SCALE),
                                   plain(c.size, SIZE_SCALE));
            }
        }
        return std::nullopt;
    }
    Outcome overflow(size_t held) {
        state_ = State::Resynchronizing;
        return {fmt::format("order-book update buffer capacity {} was exceeded", held)};
    }
    static std::string gap(uint64_t expected, uint64_t received) {
        return fmt::format("expected update ID {}, received {}", expected, received);
    }
    void set(const RefChange& c) {
        auto& side = c.ask ? asks_ : bids_;
        if (c.size == 0) {
            side.erase(c.price);
        } else {
            side[c.price] = c.size;
        }
    }
    void apply(const Delta& d) {
        for (const auto& c : d.changes) set(c);
        last_id_ = d.id;
    }

    UpdatePolicy policy_;
    size_t capacity_;
    std::optional<Grid> grid_;
    std::map<int64_t, int64_t> bids_, asks_;
    uint64_t last_id_ = 0;
    std::optional<uint64_t> snapshot_id_;
    State state_ = State::Awaiting;
    bool has_value_ = false;
    std::deque<Delta> history_;
};

// ------------------------------------------------------ raw-input histories

struct Sample {
    Timestamp t;
    double v;
};
struct TradeRec {
    Timestamp t;
    double price, volume;
};

// The inputs of one scalar field and the simple returns between consecutive
// inputs (none after an input of exactly 0.0), stamped with the later input.
struct Series {
    std::vector<Sample> inputs, returns;
    double max_square = 0.0;  // of the returns
    void add(Timestamp t, double x) {
        if (!inputs.empty() && inputs.back().v != 0.0) {
            returns.push_back({t, (x - inputs.back().v) / inputs.back().v});
            max_square = std::max(max_square, returns.back().v * returns.back().v);
        }
        inputs.push_back({t, x});
    }
};

struct SymbolRef {
    Symbol symbol;
    RefBook book;
    Series prices, volumes, trade_prices;
    std::vector<TradeRec> trades;
    std::vector<double> signed_volumes;  // trades with a side; sells negative
    std::vector<Timestamp> trade_times;
    std::optional<Timestamp> last_t;  // last accepted event of the symbol
};

struct GlobalRef {
    std::optional<Timestamp> watermark, time_last;
    std::vector<Timestamp> gated;  // events that reached the global clocks
    double rate = NaN, note = NaN;
};

// ------------------------------------------------------------- references

double population_std(const std::vector<double>& xs) {
    if (xs.empty()) return NaN;
    double mean = 0.0;
    for (double x : xs) mean += x;
    mean /= static_cast<double>(xs.size());
    double m2 = 0.0;
    for (double x : xs) m2 += (x - mean) * (x - mean);
    return std::sqrt(std::max(m2 / static_cast<double>(xs.size()), 0.0));
}
std::vector<double> last_n(const std::vector<double>& xs, size_t n) {
    return {xs.end() - static_cast<std::ptrdiff_t>(std::min(n, xs.size())), xs.end()};
}
std::vector<double> values_of(const std::vector<Sample>& xs) {
    std::vector<double> out;
    for (const auto& s : xs) out.push_back(s.v);
    return out;
}

double sample_return(const std::vector<Sample>& xs, size_t lag, bool log) {
    if (xs.size() < lag + 1) return NaN;
    const double now = xs.back().v, old = xs[xs.size() - 1 - lag].v;
    if (log) return now > 0.0 && old > 0.0 ? std::log(now) - std::log(old) : NaN;
    return old != 0.0 ? (now - old) / old : NaN;
}
double sample_volatility(const Series& s, size_t n, WarmupPolicy warmup) {
    if (s.returns.size() < (warmup == WarmupPolicy::FullWindow ? n : 1)) return NaN;
    return population_std(last_n(values_of(s.returns), n));
}
double cvd(const std::vector<double>& signed_volumes, size_t n, WarmupPolicy warmup) {
    if (signed_volumes.size() < (warmup == WarmupPolicy::FullWindow ? n : 1)) return NaN;
    double sum = 0.0;
    for (double v : last_n(signed_volumes, n)) sum += v;
    return sum;
}
double vpt(const std::vector<TradeRec>& trades) {
    double value = 0.0;
    std::optional<double> previous;
    for (const auto& t : trades) {
        if (previous && *previous != 0.0)
            value = ((t.price - *previous) * t.volume) / *previous + value;
        previous = t.price;
    }
    return trades.empty() ? NaN : value;
}
double day_of_week(Timestamp t) {
    return static_cast<double>(((floor_div(t, DAY) + 4) % 7 + 7) % 7);
}
// Milliseconds from the first of `times` on the local day of the last one.
double since_first_of_day(const std::vector<Timestamp>& times, int64_t offset) {
    if (times.empty()) return NaN;
    const int64_t day = floor_div(times.back() + offset, DAY);
    size_t i = times.size() - 1;
    while (i > 0 && floor_div(times[i - 1] + offset, DAY) == day) --i;
    return static_cast<double>(times.back() - times[i]);
}

// Timed windows: a window of W ms at current time `now` holds the buckets
// whose start s satisfies bucket(now) < s + W.
struct Timed {
    Timestamp agg, window;
    WarmupPolicy warmup;
};
Timestamp bucket_of(Timestamp t, Timestamp agg) {
    return floor_div(t, agg) * agg;
}
template <class T>
bool ready(const std::vector<T>& inputs, Timestamp now, const Timed& w) {
    return !inputs.empty() &&
           (w.warmup == WarmupPolicy::FirstValue || now - inputs.front().t >= w.window);
}
// Calls f on the elements of `xs` in the window, newest first; returns the
// count of elements before the window.
template <class T, class F>
size_t scan(const std::vector<T>& xs, Timestamp now, const Timed& w, F&& f) {
    const Timestamp lo = bucket_of(now, w.agg) - w.window + w.agg;
    size_t i = xs.size();
    for (; i > 0 && bucket_of(xs[i - 1].t, w.agg) >= lo; --i) f(xs[i - 1]);
    return i;
}

double sma_timed(const Series& s, Timestamp now, const Timed& w) {
    if (!ready(s.inputs, now, w)) return NaN;
    std::map<Timestamp, std::pair<double, int>> buckets;
    scan(s.inputs, now, w, [&](const Sample& x) {
        auto& b = buckets[bucket_of(x.t, w.agg)];
        b.first += x.v;
        ++b.second;
    });
    if (buckets.empty()) return NaN;
    double sum = 0.0;
    for (const auto& [start, b] : buckets) sum += b.first / b.second;
    return sum / static_cast<double>(buckets.size());
}
double volatility_timed(const Series& s, Timestamp now, const Timed& w) {
    if (!ready(s.inputs, now, w)) return NaN;
    std::vector<double> rs;
    scan(s.returns, now, w, [&](const Sample& r) { rs.push_back(r.v); });
    return population_std(rs);
}
double trade_volume_timed(const SymbolRef& s, Timestamp now, const Timed& w) {
    if (!ready(s.trades, now, w)) return NaN;
    double sum = 0.0;
    scan(s.trades, now, w, [&](const TradeRec& t) { sum += t.volume; });
    return sum;
}
double vwap_timed(const SymbolRef& s, Timestamp now, const Timed& w) {
    if (!ready(s.trades, now, w)) return NaN;
    double pv = 0.0, v = 0.0;
    scan(s.trades, now, w, [&](const TradeRec& t) {
        pv += t.price * t.volume;
        v += t.volume;
    });
    return v == 0.0 ? NaN : pv / v;
}
double trade_count_timed(const SymbolRef& s, Timestamp now, const Timed& w) {
    if (!ready(s.trades, now, w)) return NaN;
    double count = 0.0;
    scan(s.trades, now, w, [&](const TradeRec&) { count += 1.0; });
    return count;
}
// Buckets carry their close and volume; a bucket's direction is the sign of
// its close against the previous bucket that had trades (0 for the first).
double obv_timed(const SymbolRef& s, Timestamp now, const Timed& w) {
    if (!ready(s.trades, now, w)) return NaN;
    struct Bucket {
        Timestamp start;
        double close, volume = 0.0;
    };
    std::vector<Bucket> buckets;  // newest first
    const size_t before = scan(s.trades, now, w, [&](const TradeRec& t) {
        const Timestamp start = bucket_of(t.t, w.agg);
        if (buckets.empty() || buckets.back().start != start) buckets.push_back({start, t.price});
        buckets.back().volume += t.volume;
    });
    double sum = 0.0;
    for (size_t k = 0; k < buckets.size(); ++k) {
        std::optional<double> previous;
        if (k + 1 < buckets.size()) {
            previous = buckets[k + 1].close;
        } else if (before > 0) {
            previous = s.trades[before - 1].price;
        }
        const double d =
            !previous ? 0.0 : (buckets[k].close > *previous) - (buckets[k].close < *previous);
        sum += d * buckets[k].volume;
    }
    return sum;
}

// ---------------------------------------------------------------- features

// What one accepted event was, for the update-mask expectations.
struct Step {
    EventKind kind;
    Symbol symbol;
    bool at_watermark;   // the global subscribers ran
    bool time_advanced;  // the symbol's previous accepted timestamp differs
    bool book_applied;   // the book committed Applied or Resynchronized
    bool sided;          // a trade with an aggressor side
};

struct Feature {
    FeatureKey key;
    std::function<double()> expected;
    std::function<bool(const Step&)> writes;
    double rel_tol = 0.0;
    std::function<double()> abs_tol;  // with rel_tol 0 and no abs_tol: bitwise
};
std::function<double()> fixed(double tol) {
    return [tol] { return tol; };
}
std::function<double()> volatility_slack(const Series& s) {
    return [&s] { return std::sqrt(1e-13 * s.max_square); };
}

struct BookQueries {
    bool level_ask;
    int64_t level_price;
    bool nth_ask;
    uint64_t nth;
    bool until_ask;
    int64_t until_price;
    bool target_ask;
    int64_t target_lots;
    bool between_ask;
    int64_t from, to;
    std::vector<uint64_t> depths;
};

void add_book_features(std::vector<Feature>& fs, const SymbolRef& s, const BookQueries& q) {
    const RefBook* book = &s.book;
    const Symbol sym = s.symbol;
    auto add = [&](FeatureKey key, std::function<double(const RefBook&)> query,
                   bool divided = false) {
        fs.push_back({std::move(key),
                      [book, query] { return book->has_value() ? query(*book) : NaN; },
                      [sym](const Step& st) { return st.symbol == sym && st.book_applied; },
                      divided ? QUOTIENT_REL : 0.0, divided ? fixed(QUOTIENT_ABS) : nullptr});
    };
    auto side = [](bool ask) { return ask ? Side::Ask : Side::Bid; };
    using K = FeatureKind;

    add(FeatureKey::book_price_query(K::OrderBookLevelSize, sym, side(q.level_ask),
                                     decimal(q.level_price, 2)),
        [q](const RefBook& b) {
            const auto sz = b.size_at(q.level_ask, q.level_price);
            return sz ? size_value(*sz) : NaN;
        });
    add(FeatureKey::book_nth(K::OrderBookNthPrice, sym, side(q.nth_ask), q.nth),
        [q](const RefBook& b) {
            const auto levels = b.levels(q.nth_ask);
            return levels.size() >= q.nth ? price_value(levels[q.nth - 1].first) : NaN;
        });
    add(FeatureKey::book_nth(K::OrderBookNthSize, sym, side(!q.nth_ask), q.nth + 1),
        [q](const RefBook& b) {
            const auto levels = b.levels(!q.nth_ask);
            return levels.size() >= q.nth + 1 ? size_value(levels[q.nth].second) : NaN;
        });
    add(FeatureKey::book_price_query(K::OrderBookDepthUntilPrice, sym, side(q.until_ask),
                                     decimal(q.until_price, 2)),
        [q](const RefBook& b) {
            int64_t sum = 0;
            for (const auto& [p, sz] : b.levels(q.until_ask)) {
                if (q.until_ask ? p > q.until_price : p < q.until_price) break;
                sum += sz;
            }
            return size_value(sum);
        });
    // The walk to a cumulative target size: price_from, price_to, total_size.
    const K until_kinds[] = {K::OrderBookDepthUntilSizePriceFrom, K::OrderBookDepthUntilSizePriceTo,
                             K::OrderBookDepthUntilSizeTotalSize};
    for (int part = 0; part < 3; ++part) {
        add(FeatureKey::book_size_query(until_kinds[part], sym, side(q.target_ask),
                                        decimal(q.target_lots, 3)),
            [q, part](const RefBook& b) {
                const auto levels = b.levels(q.target_ask);
                int64_t total = 0;
                for (const auto& [p, sz] : levels) {
                    total += sz;
                    if (total < q.target_lots) continue;
                    return part == 0   ? price_value(levels.front().first)
                           : part == 1 ? price_value(p)
                                       : size_value(total);
                }
                return NaN;
            });
    }
    add(FeatureKey::book_volume_between(sym, side(q.between_ask), decimal(q.from, 2),
                                        decimal(q.to, 2)),
        [q](const RefBook& b) {
            int64_t sum = 0;
            for (const auto& [p, sz] : b.levels(q.between_ask)) {
                sum += (p >= q.from && p < q.to) ? sz : 0;
            }
            return size_value(sum);
        });
    // Best levels: (kind, ask side, the price rather than the size).
    for (const auto& [kind, ask, price] : {std::tuple{K::OrderBookBestBidPrice, false, true},
                                           {K::OrderBookBestBidSize, false, false},
                                           {K::OrderBookBestAskPrice, true, true},
                                           {K::OrderBookBestAskSize, true, false}}) {
        add(FeatureKey::book_scalar(kind, sym), [ask, price](const RefBook& b) {
            const auto levels = b.levels(ask);
            if (levels.empty()) return NaN;
            return price ? price_value(levels[0].first) : size_value(levels[0].second);
        });
    }
    // f(pb, sb, pa, sa) when both sides have a best level, NaN otherwise.
    auto both = [](auto f) {
        return [f](const RefBook& b) {
            const auto bids = b.levels(false), asks = b.levels(true);
            if (bids.empty() || asks.empty()) return NaN;
            return f(bids[0].first, bids[0].second, asks[0].first, asks[0].second);
        };
    };
    // Prices are in hundredths, sizes in thousandths: the factors below put
    // each quotient back into plain units.
    add(FeatureKey::book_scalar(K::OrderBookMidPrice, sym),
        both([](int64_t pb, int64_t, int64_t pa, int64_t) { return quotient(pb + pa, 200); }),
        true);
    add(FeatureKey::book_scalar(K::OrderBookSpread, sym),
        both([](int64_t pb, int64_t, int64_t pa, int64_t) {
            return price_value(std::abs(pa - pb));
        }));
    add(FeatureKey::book_scalar(K::OrderBookSpreadBps, sym),
        both([](int64_t pb, int64_t, int64_t pa, int64_t) {
            return pb + pa == 0 ? NaN : quotient(std::abs(pa - pb) * 20000, pb + pa);
        }),
        true);
    add(FeatureKey::book_scalar(K::OrderBookWeightedMidPrice, sym),
        both([](int64_t pb, int64_t sb, int64_t pa, int64_t sa) {
            return quotient(pb * sb + pa * sa, (sb + sa) * 100);
        }),
        true);
    add(FeatureKey::book_scalar(K::OrderBookMicroprice, sym),
        both([](int64_t pb, int64_t sb, int64_t pa, int64_t sa) {
            return quotient(pb * sa + pa * sb, (sb + sa) * 100);
        }),
        true);
    for (uint64_t depth : q.depths) {
        add(
            FeatureKey::book_imbalance(sym, depth),
            [depth](const RefBook& b) {
                int64_t sums[2] = {0, 0};
                for (int ask = 0; ask < 2; ++ask) {
                    const auto levels = b.levels(ask == 1);
                    for (size_t i = 0; i < std::min<size_t>(depth, levels.size()); ++i)
                        sums[ask] += levels[i].second;
                }
                return sums[0] + sums[1] == 0 ? NaN
                                              : quotient(sums[0] - sums[1], sums[0] + sums[1]);
            },
            true);
    }
}

// Timed kinds: all cells on an input event, and on any other event of the
// symbol only when its timestamp moved.
void add_timed(std::vector<Feature>& fs, FeatureKind kind, const SymbolRef& s, FeatureSource source,
               const Timed& w, EventKind input,
               std::function<double(const SymbolRef&, Timestamp, const Timed&)> value,
               double rel_tol = 0.0, std::function<double()> abs_tol = nullptr) {
    const SymbolRef* sp = &s;
    fs.push_back({FeatureKey::timed(kind, s.symbol, source, Duration::from_millis(w.agg),
                                    Duration::from_millis(w.window), w.warmup),
                  [sp, w, value] { return sp->last_t ? value(*sp, *sp->last_t, w) : NaN; },
                  [sym = s.symbol, input](const Step& st) {
                      return st.symbol == sym && (st.kind == input || st.time_advanced);
                  },
                  rel_tol, std::move(abs_tol)});
}

auto on(Symbol sym, EventKind kind) {
    return [sym, kind](const Step& st) { return st.symbol == sym && st.kind == kind; };
}

// --------------------------------------------------------------- the stream

// Generator state of one symbol: a dyadic price walk (so trade sums are
// exact in doubles) and a book feed around a walking centre.
struct Feed {
    int64_t walk = 0;  // price = 100 + walk / 16
    int64_t center, tick, span, lo, hi;
    uint64_t next_id = 1;
    uint64_t last_snapshot = 0;
};

std::string kind_text(EventKind k) {
    return std::string(display_name(k));
}

struct Dice {
    std::mt19937_64 rng;
    double roll() { return std::uniform_real_distribution<double>(0.0, 1.0)(rng); }
    bool chance(double p) { return roll() < p; }
    int64_t pick(int64_t lo, int64_t hi) {
        return std::uniform_int_distribution<int64_t>(lo, hi)(rng);
    }
};

// A random delta or snapshot for `s` (now and then invalid, resent, gapped or
// stale), and the outcome the reference book predicts for it, unless the
// event is refused before it reaches the book.
std::pair<Event, std::optional<RefBook::Outcome>> draw_book_event(Dice& dice, Feed& feed,
                                                                  SymbolRef& s, bool snapshot,
                                                                  Timestamp t, bool refused) {
    feed.center = std::clamp(feed.center + feed.tick * dice.pick(-1, 1), feed.lo, feed.hi);
    auto level = [&](bool ask, int64_t from_tick) {
        const int64_t offset = feed.tick * dice.pick(from_tick, feed.span);
        return RefChange{ask, ask ? feed.center + offset : feed.center - offset,
                         dice.chance(0.25) ? 0 : dice.pick(1, 5000)};
    };
    // A negative size, or a price the side cannot hold (negative, or off the grid).
    auto spoil = [&](std::vector<RefChange>& changes) {
        RefChange& c = changes[static_cast<size_t>(dice.pick(0, int64_t(changes.size()) - 1))];
        if (dice.chance(0.5)) {
            c.size = -dice.pick(1, 999);
        } else {
            c.price = feed.tick > 1 ? c.price + 10 : -dice.pick(1, 50);
        }
    };
    auto to_level = [](const RefChange& c) {
        return Level{decimal(c.price, PRICE_SCALE), decimal(c.size, SIZE_SCALE)};
    };
    std::optional<RefBook::Outcome> outcome;
    const double r = dice.roll();
    if (!snapshot) {
        std::vector<RefChange> changes;
        for (int64_t i = dice.pick(1, 4); i > 0; --i)
            changes.push_back(level(dice.chance(0.5), -2));
        uint64_t id = feed.next_id;
        if (r < 0.05) {
            spoil(changes);
        } else if (r < 0.11 && feed.next_id > 1) {  // a resend
            id = feed.next_id - 1 - std::min<uint64_t>(feed.next_id - 2, dice.pick(0, 3));
        } else {
            if (r < 0.15) id += 1 + dice.pick(0, 2);  // a gap
            feed.next_id = std::max(feed.next_id, id + 1);
        }
        if (!refused) outcome = s.book.delta(id, changes);
        OrderBookDelta delta{{}, id};
        for (const auto& c : changes) {
            const Level l = to_level(c);
            delta.changes.push_back({l.price, l.size, c.ask ? Side::Ask : Side::Bid});
        }
        return {Event(OrderBookDeltaEvent{std::move(delta), t, s.symbol}), outcome};
    }
    std::vector<RefChange> bids, asks;
    for (int64_t i = dice.pick(0, 8); i > 0; --i) bids.push_back(level(false, 0));
    for (int64_t i = dice.pick(0, 8); i > 0; --i) asks.push_back(level(true, 1));
    if (dice.chance(0.04) && !asks.empty()) spoil(asks);
    uint64_t id = std::max<uint64_t>(feed.next_id - 1, 1);  // the newest delta so far
    if (r < 0.1) {
        id = std::max<uint64_t>(feed.last_snapshot, 1);  // stale, unless the first
    } else if (r < 0.3) {
        id -= std::min<uint64_t>(id - 1, dice.pick(1, 4));  // newer deltas replay on top
    }
    feed.next_id = std::max(feed.next_id, id + 1);
    if (!refused) outcome = s.book.snapshot(id, bids, asks);
    if (outcome && !outcome->error) feed.last_snapshot = id;
    OrderBookSnapshot update{{}, {}, id};
    for (const auto& c : bids) update.bids.push_back(to_level(c));
    for (const auto& c : asks) update.asks.push_back(to_level(c));
    return {Event(OrderBookSnapshotEvent{std::move(update), t, s.symbol}), outcome};
}

// Builds the extractor, replays `steps` seeded steps and checks every cell
// and mask byte after each; counts the paths taken into `seen`.
void run_stream(uint64_t seed, int steps, std::map<std::string, int>& seen) {
    SymbolRef alpha{*intern("e2e-alpha"), RefBook(UpdatePolicy::Contiguous, 12, std::nullopt)};
    SymbolRef beta{*intern("e2e-beta"),
                   RefBook(UpdatePolicy::Monotonic, 16, RefBook::Grid{25, 9000, 11000})};
    GlobalRef glob;
    const Symbol A = alpha.symbol, B = beta.symbol, G = Symbol::global();
    const auto FV = WarmupPolicy::FirstValue, FW = WarmupPolicy::FullWindow;
    const auto trade_source = FeatureSource::of_event(EventKind::Trade);
    const auto price_field = FeatureSource::of_field(ScalarField::Price);
    const auto trade_price_field = FeatureSource::of_field(ScalarField::TradePrice);

    std::vector<Feature> fs;
    // Global scope: clocks gated by the watermark, and a shared context value.
    fs.push_back({FeatureKey::context(G, "rate"), [&] { return glob.rate; },
                  [](const Step&) { return false; }});
    fs.push_back({FeatureKey::day_of_week(G, FeatureSource::any_event()),
                  [&] { return glob.gated.empty() ? NaN : day_of_week(glob.gated.back()); },
                  [](const Step& st) { return st.at_watermark; }});
    fs.push_back(
        {FeatureKey::time_since_first_event_of_day(G, FeatureSource::any_event(), 3 * HOUR),
         [&] { return since_first_of_day(glob.gated, 3 * HOUR); },
         [](const Step& st) { return st.at_watermark; }});

    // Alpha: sparse book; price-field indicators; trade windows with first_value.
    add_book_features(
        fs, alpha,
        {false, 9995, true, 3, false, 9990, false, 2500, false, 9980, 10000, {3, 1, 10}});
    fs.push_back({FeatureKey::context(A, "note"), [&] { return glob.note; },
                  [](const Step&) { return false; }});
    fs.push_back({FeatureKey::field_of(A, ScalarField::Price),
                  [&] { return alpha.prices.inputs.empty() ? NaN : alpha.prices.inputs.back().v; },
                  on(A, EventKind::Price)});
    fs.push_back({FeatureKey::field_of(A, ScalarField::TradeVolume),
                  [&] { return alpha.trades.empty() ? NaN : alpha.trades.back().volume; },
                  on(A, EventKind::Trade)});
    for (uint64_t n : {3, 10}) {
        fs.push_back({FeatureKey::cvd(A, trade_source, n, FV),
                      [&, n] { return cvd(alpha.signed_volumes, n, FV); },
                      [A](const Step& st) { return st.symbol == A && st.sided; }});
    }
    for (uint64_t lag : {5, 1}) {
        fs.push_back({FeatureKey::returns(A, price_field, lag, false),
                      [&, lag] { return sample_return(alpha.prices.inputs, lag, false); },
                      on(A, EventKind::Price)});
    }
    for (uint64_t n : {12, 4}) {
        fs.push_back({FeatureKey::volatility(A, price_field, n, FV),
                      [&, n] { return sample_volatility(alpha.prices, n, FV); },
                      on(A, EventKind::Price), VOLATILITY_REL, volatility_slack(alpha.prices)});
    }
    for (Timestamp w : {3000, 10000}) {
        add_timed(
            fs, FeatureKind::SmaTimed, alpha, price_field, {1000, w, FV}, EventKind::Price,
            [](const SymbolRef& s, Timestamp now, const Timed& t) {
                return sma_timed(s.prices, now, t);
            },
            AVERAGE_REL);
    }
    add_timed(
        fs, FeatureKind::VolatilityTimed, alpha, price_field, {1000, 5000, FV}, EventKind::Price,
        [](const SymbolRef& s, Timestamp now, const Timed& t) {
            return volatility_timed(s.prices, now, t);
        },
        VOLATILITY_REL, volatility_slack(alpha.prices));
    for (Timestamp w : {2000, 6000})
        add_timed(fs, FeatureKind::ObvTimed, alpha, trade_source, {1000, w, FV}, EventKind::Trade,
                  obv_timed);
    add_timed(fs, FeatureKind::TradeCountTimed, alpha, trade_source, {1000, 4000, FV},
              EventKind::Trade, trade_count_timed);
    for (Timestamp w : {1500, 5000})
        add_timed(fs, FeatureKind::TradeVolumeTimed, alpha, trade_source, {500, w, FV},
                  EventKind::Trade, trade_volume_timed);
    add_timed(fs, FeatureKind::VwapTimed, alpha, trade_source, {1000, 3000, FV}, EventKind::Trade,
              vwap_timed);
    fs.push_back({FeatureKey::vpt(A, trade_source), [&] { return vpt(alpha.trades); },
                  on(A, EventKind::Trade)});
    // A per-symbol clock sees every event of its symbol, ungated.
    fs.push_back({FeatureKey::day_of_week(A, FeatureSource::any_event()),
                  [&] { return alpha.last_t ? day_of_week(*alpha.last_t) : NaN; },
                  [A](const Step& st) { return st.symbol == A; }});

    // Beta: dense book (plus a level query off its grid, always NaN);
    // trade-price indicators; windows with full_window.
    add_book_features(fs, beta,
                      {true, 10025, false, 2, true, 10050, true, 3000, true, 10000, 10100, {2, 5}});
    fs.push_back({FeatureKey::book_price_query(FeatureKind::OrderBookLevelSize, B, Side::Ask,
                                               decimal(10010, 2)),
                  [] { return NaN; },
                  [B](const Step& st) { return st.symbol == B && st.book_applied; }});
    fs.push_back({FeatureKey::field_of(B, ScalarField::Volume),
                  [&] { return beta.volumes.inputs.empty() ? NaN : beta.volumes.inputs.back().v; },
                  on(B, EventKind::Volume)});
    fs.push_back({FeatureKey::cvd(B, trade_source, 5, FW),
                  [&] { return cvd(beta.signed_volumes, 5, FW); },
                  [B](const Step& st) { return st.symbol == B && st.sided; }});
    for (uint64_t lag : {1, 3}) {
        fs.push_back({FeatureKey::returns(B, trade_price_field, lag, true),
                      [&, lag] { return sample_return(beta.trade_prices.inputs, lag, true); },
                      on(B, EventKind::Trade)});
    }
    fs.push_back({FeatureKey::volatility(B, trade_price_field, 6, FW),
                  [&] { return sample_volatility(beta.trade_prices, 6, FW); },
                  on(B, EventKind::Trade), VOLATILITY_REL, volatility_slack(beta.trade_prices)});
    add_timed(
        fs, FeatureKind::SmaTimed, beta, trade_price_field, {500, 2000, FW}, EventKind::Trade,
        [](const SymbolRef& s, Timestamp now, const Timed& t) {
            return sma_timed(s.trade_prices, now, t);
        },
        AVERAGE_REL);
    for (Timestamp w : {4000, 8000}) {
        add_timed(
            fs, FeatureKind::VolatilityTimed, beta, trade_price_field, {1000, w, FW},
            EventKind::Trade,
            [](const SymbolRef& s, Timestamp now, const Timed& t) {
                return volatility_timed(s.trade_prices, now, t);
            },
            VOLATILITY_REL, volatility_slack(beta.trade_prices));
    }
    add_timed(fs, FeatureKind::ObvTimed, beta, trade_source, {1000, 3000, FW}, EventKind::Trade,
              obv_timed);
    add_timed(fs, FeatureKind::TradeCountTimed, beta, trade_source, {500, 2500, FW},
              EventKind::Trade, trade_count_timed);
    add_timed(fs, FeatureKind::TradeVolumeTimed, beta, trade_source, {1000, 4000, FW},
              EventKind::Trade, trade_volume_timed);
    for (Timestamp w : {2000, 5000})
        add_timed(fs, FeatureKind::VwapTimed, beta, trade_source, {1000, w, FW}, EventKind::Trade,
                  vwap_timed);
    fs.push_back({FeatureKey::vpt(B, trade_source), [&] { return vpt(beta.trades); },
                  on(B, EventKind::Trade)});
    // A per-symbol clock on trades only, with a negative offset.
    fs.push_back({FeatureKey::time_since_first_event_of_day(B, trade_source, -5 * HOUR),
                  [&] { return since_first_of_day(beta.trade_times, -5 * HOUR); },
                  on(B, EventKind::Trade)});

    // Every key kind is present, returns in both forms.
    std::set<int> kinds;
    for (const auto& f : fs)
        kinds.insert(f.key.kind == FeatureKind::Returns && f.key.log ? 100 : int(f.key.kind));
    ASSERT_EQ(kinds.size(), size_t{FEATURE_KIND_COUNT} + 1);

    // Build through the spec; locate each feature's cell by its ID.
    std::vector<FeatureDefinition> defs;
    for (const auto& f : fs) defs.push_back(FeatureDefinition::with_default_id(f.key));
    const size_t capacity = defs.size() + 2;  // two reserved trailing cells
    auto spec = FeatureExtractorSpec::with_metadata(defs, capacity, std::nullopt);
    ASSERT_TRUE(spec) << to_string(spec.error());
    const DenseBookConfig grid{decimal(25, 2), decimal(9000, 2), decimal(11000, 2)};
    auto with_books = std::move(*spec).with_order_books(
        {{B, OrderBookConfig{16, grid, UpdatePolicy::Monotonic}},
         {A, OrderBookConfig{12, std::nullopt, UpdatePolicy::Contiguous}}});
    ASSERT_TRUE(with_books) << to_string(with_books.error());
    auto built = with_books->build();
    ASSERT_TRUE(built) << to_string(built.error());
    FeatureExtractor& ex = *built;
    ASSERT_EQ(ex.capacity(), capacity);
    std::vector<size_t> cells;
    for (const auto& d : defs) {
        const auto ids = ex.feature_ids();
        const auto it = std::find(ids.begin(), ids.end(), d.id);
        ASSERT_NE(it, ids.end()) << d.id;
        cells.push_back(static_cast<size_t>(it - ids.begin()));
    }
    ASSERT_EQ(std::set<size_t>(cells.begin(), cells.end()).size(), defs.size());

    // Compares every cell with its reference and the mask with `mask`.
    auto check = [&](const std::vector<uint8_t>& mask, const std::string& where) {
        std::vector<double> expected(capacity, NaN);
        for (size_t i = 0; i < fs.size(); ++i) expected[cells[i]] = fs[i].expected();
        const auto actual = ex.vector().values();
        int bad = 0;
        for (size_t i = 0; i < fs.size(); ++i) {
            const double e = expected[cells[i]], a = actual[cells[i]];
            const bool same = std::isnan(e) ? std::isnan(a)
                              : fs[i].rel_tol == 0.0 && !fs[i].abs_tol
                                  ? a == e
                                  : std::abs(a - e) <= (fs[i].abs_tol ? fs[i].abs_tol() : 0.0) +
                                                           fs[i].rel_tol * std::abs(e);
            if (!same) {
                ADD_FAILURE() << where << ": " << defs[i].id
                              << fmt::format(" = {:.17g}, expected {:.17g}", a, e);
                ++bad;
            }
            if (ex.update_mask()[cells[i]] != mask[cells[i]]) {
                ADD_FAILURE() << where << ": mask of " << defs[i].id << " = "
                              << int(ex.update_mask()[cells[i]]);
                ++bad;
            }
        }
        for (size_t c = defs.size(); c < capacity; ++c) {
            if (!std::isnan(actual[c]) || ex.update_mask()[c] != 0) {
                ADD_FAILURE() << where << ": reserved cell " << c;
                ++bad;
            }
        }
        return bad == 0;
    };
    auto step_mask = [&](const Step& st) {
        std::vector<uint8_t> mask(capacity, 0);
        for (size_t i = 0; i < fs.size(); ++i) mask[cells[i]] = fs[i].writes(st) ? 1 : 0;
        return mask;
    };
    ASSERT_TRUE(check(std::vector<uint8_t>(capacity, 0), "after build"));

    Dice dice{std::mt19937_64(seed)};
    auto chance = [&](double p) { return dice.chance(p); };
    auto pick = [&](int64_t lo, int64_t hi) { return dice.pick(lo, hi); };
    Feed feeds[2] = {{0, 10000, 1, 30, 9980, 10020}, {0, 10000, 25, 12, 9700, 10300}};
    const std::string rate_id = feature_id_from_key(FeatureKey::context(G, "rate"));
    const std::string note_id = feature_id_from_key(FeatureKey::context(A, "note"));
    const std::string price_id = feature_id_from_key(FeatureKey::field_of(A, ScalarField::Price));
    Timestamp now = -2 * DAY + 20 * HOUR + 59 * 60'000;  // negative: exercises floor division

    for (int n = 0; n < steps; ++n) {
        // Steps on a 250 ms grid, so window edges and warm-up ends are hit exactly.
        now += chance(0.01) ? pick(8, 56) * HOUR / 4 : chance(0.15) ? 0 : 250 * pick(1, 3);
        const std::vector<double> values_before(ex.vector().values().begin(),
                                                ex.vector().values().end());
        const std::vector<uint8_t> mask_before(ex.update_mask().begin(), ex.update_mask().end());
        const double roll = dice.roll();

        if (roll < 0.03) {  // a context batch, valid or not
            const int variant = static_cast<int>(pick(0, 9));
            const double value = static_cast<double>(pick(-400, 400)) / 8.0;
            const std::optional<double> maybe = chance(0.3) ? std::nullopt : std::optional(value);
            std::vector<ContextUpdate> batch;
            std::optional<std::string> error;
            switch (variant) {
                case 0:
                case 1:
                case 2:
                    batch = {{rate_id, maybe}, {note_id, value * 2}};
                    break;
                case 3:
                case 4:
                    batch = {{rate_id, maybe}};
                    break;
                case 5:
                    break;  // empty
                case 6:
                    batch = {{rate_id, 1.0}, {rate_id, 2.0}};
                    error = "context update 1: duplicate feature ID";
                    break;
                case 7:
                    batch = {{note_id, 1.0}, {"e2e-unknown", 1.0}};
                    error = "context update 1: unknown feature ID";
                    break;
                case 8:
                    batch = {{price_id, 1.0}};
                    error = "context update 0: target is not a context feature";
                    break;
                default:
                    batch = {{rate_id, std::numeric_limits<double>::infinity()}};
                    error = "context update 0: context value must be finite or None";
            }
            const auto result = ex.update_context(batch);
            const std::string where = fmt::format("step {}: context batch variant {}", n, variant);
            if (error) {
                ASSERT_FALSE(result) << where;
                EXPECT_EQ(to_string(result.error()), *error) << where;
                ++seen["context refused"];
            } else {
                ASSERT_TRUE(result) << where << ": " << to_string(result.error());
                for (const auto& u : batch)
                    (u.name == rate_id ? glob.rate : glob.note) = u.value.value_or(NaN);
                ++seen[batch.empty() ? "context empty" : "context applied"];
            }
            ASSERT_TRUE(check(
                batch.empty() || error ? mask_before : std::vector<uint8_t>(capacity, 0), where));
            continue;
        }

        // An event: a clock tick, or a market event of one of the two symbols.
        const bool tick = roll < 0.08;
        SymbolRef* s = tick ? nullptr : chance(0.5) ? &alpha : &beta;
        Feed& feed = feeds[s == &beta ? 1 : 0];
        const Symbol sym = s ? s->symbol : G;
        std::optional<Timestamp>& last = s ? s->last_t : glob.time_last;
        Timestamp t = now;
        if (last && chance(0.01)) {
            t = *last - pick(1, 1000);
        } else if (s && last && glob.watermark && *last < *glob.watermark && chance(0.08)) {
            // Behind the watermark, still on the grid and in order for its symbol.
            t = *last + 250 * pick(0, (*glob.watermark - 1 - *last) / 250);
            ++seen["older event"];
        }
        const double kr = dice.roll();
        const EventKind kind = tick           ? EventKind::Time
                               : kr < 0.25    ? EventKind::Price
                               : kr < 0.35    ? EventKind::Volume
                               : kr < 0.68    ? EventKind::Trade
                               : chance(0.13) ? EventKind::OrderBookSnapshot
                                              : EventKind::OrderBookDelta;
        std::optional<std::string> error;
        if (last && t < *last) {
            error = fmt::format(
                "timestamp {} for {} event for symbol {} is earlier than previous timestamp {}", t,
                kind_text(kind), display(sym), *last);
        }
        feed.walk = std::clamp<int64_t>(feed.walk + pick(-3, 3), -160, 160);
        const double price = chance(0.005) ? 0.0 : 100.0 + static_cast<double>(feed.walk) / 16.0;
        const double volume = static_cast<double>(pick(0, 40)) / 4.0;
        std::optional<AggressorSide> side;
        if (chance(0.7)) side = chance(0.5) ? AggressorSide::Buy : AggressorSide::Sell;
        const bool non_finite =
            (kind == EventKind::Price || kind == EventKind::Trade) && chance(0.005);
        if (!error && non_finite) {
            error = kind == EventKind::Price
                        ? "invalid argument: event price must be finite"
                        : "invalid argument: event trade volume must be finite";
        }

        std::optional<Event> event;
        bool book_applied = false;
        if (kind == EventKind::Time) event = Event::time(t);
        if (kind == EventKind::Price) event = Event::price(sym, t, non_finite ? NaN : price);
        if (kind == EventKind::Volume) event = Event::volume(sym, t, volume);
        if (kind == EventKind::Trade) {
            event = Event::trade(
                sym, t, price, non_finite ? std::numeric_limits<double>::infinity() : volume, side);
        }
        if (kind == EventKind::OrderBookDelta || kind == EventKind::OrderBookSnapshot) {
            auto [book_event, outcome] = draw_book_event(
                dice, feed, *s, kind == EventKind::OrderBookSnapshot, t, error.has_value());
            event = std::move(book_event);
            if (outcome && outcome->error) error = "order-book update failed: " + *outcome->error;
            if (outcome && !outcome->error) {
                ++seen[outcome->applied ? "book applied" : "book kept aside"];
            }
            if (outcome && outcome->resynchronized) ++seen["book resynchronized"];
            book_applied = outcome && outcome->applied;
        }

        const std::string where =
            fmt::format("step {}: {} event for {} at {}", n, kind_text(kind), display(sym), t);
        const auto result = ex.handle_event(std::move(*event));
        if (error) {
            ASSERT_FALSE(result) << where << ": expected " << *error;
            ASSERT_EQ(to_string(result.error()), *error) << where;
            std::string key = *error;
            std::erase_if(key,
                          [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
            ++seen["refused: " + key];
            // A refusal changes no cell and no mask byte.
            const auto after = ex.vector().values();
            for (size_t c = 0; c < capacity; ++c) {
                ASSERT_TRUE(std::isnan(values_before[c]) ? std::isnan(after[c])
                                                         : after[c] == values_before[c])
                    << where << ": cell " << c;
            }
            ASSERT_TRUE(check(mask_before, where));
            continue;
        }
        ASSERT_TRUE(result) << where << ": " << to_string(result.error());

        const Step st{kind,
                      sym,
                      !glob.watermark || t >= *glob.watermark,
                      !last || *last != t,
                      book_applied,
                      kind == EventKind::Trade && side.has_value()};
        if (s && kind == EventKind::Price) s->prices.add(t, price);
        if (s && kind == EventKind::Volume) s->volumes.add(t, volume);
        if (s && kind == EventKind::Trade) {
            s->trades.push_back({t, price, volume});
            s->trade_prices.add(t, price);
            s->trade_times.push_back(t);
            if (side) s->signed_volumes.push_back(*side == AggressorSide::Sell ? -volume : volume);
            ++seen[side ? "trade with side" : "trade without side"];
        }
        last = t;
        if (st.at_watermark) {
            if (!glob.gated.empty() &&
                floor_div(glob.gated.back() + 3 * HOUR, DAY) != floor_div(t + 3 * HOUR, DAY))
                ++seen["new local day"];
            glob.gated.push_back(t);
        } else {
            ++seen["behind the watermark"];
        }
        glob.watermark = std::max(glob.watermark.value_or(t), t);
        ASSERT_TRUE(check(step_mask(st), where));
    }
}

TEST(EndToEnd, EveryCellOfEveryKindMatchesBruteForceReferencesAfterEveryEvent) {
    std::map<std::string, int> seen;  // which paths the streams exercised
    for (uint64_t seed : {0x5eed'2e2eULL, 7ULL, 2024ULL, 0xfeedULL}) {
        SCOPED_TRACE(fmt::format("seed {}", seed));
        run_stream(seed, 2000, seen);
        if (HasFatalFailure()) return;
    }
    // Together the streams reached every path they are meant to cover.
    for (const char* path : {"context refused",
                             "context empty",
                             "context applied",
                             "older event",
                             "behind the watermark",
                             "trade with side",
                             "trade without side",
                             "book applied",
                             "book kept aside",
                             "book resynchronized",
                             "new local day",
                             "is earlier than previous timestamp",
                             "event price must be finite",
                             "event trade volume must be finite",
                             "invalid Bid level",
                             "invalid Ask level",
                             "expected update ID",
                             "buffer capacity",
                             "is not newer than current snapshot",
                             "requires update ID"}) {
        int count = 0;
        for (const auto& [key, times] : seen)
            count += key.find(path) != std::string::npos ? times : 0;
        EXPECT_GT(count, 0) << path;
    }
}

}  // namespace
}  // namespace zelk
