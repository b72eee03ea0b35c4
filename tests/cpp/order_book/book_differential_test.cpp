// Randomized differential test: one stream of snapshots and deltas (fixed
// seeds) drives a sparse book, a dense book and a brute-force reference kept
// in std::map over integer ticks. After every update all three must give the
// same outcome and the same answer to every query.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "tests/cpp/order_book/book_test_support.hpp"
#include "zelk/order_book/book.hpp"
#include "zelk/order_book/queries.hpp"

namespace zelk {
namespace {

using namespace zelk::testing;

// Grid: price = 50 + 0.25 * tick for tick in [0, 400]; size = 0.001 * units.
constexpr int64_t MAX_TICK = 400;
ExactDecimal price_of(int64_t tick, uint32_t extra_zeros = 0) {
    // 5000 + 25 * tick hundredths, optionally written with trailing zeros.
    u128 units = static_cast<u128>(5000 + 25 * tick);
    for (uint32_t i = 0; i < extra_zeros; ++i) units *= 10;
    return *ExactDecimal::from_parts(units, 2 + extra_zeros, false);
}
ExactDecimal size_of(int64_t units, uint32_t extra_zeros = 0) {
    u128 value = static_cast<u128>(units);
    for (uint32_t i = 0; i < extra_zeros; ++i) value *= 10;
    return *ExactDecimal::from_parts(value, 3 + extra_zeros, false);
}

struct RefChange {
    Side side;
    int64_t tick;
    int64_t units;  // 0 removes
};
struct RefDelta {
    uint64_t id;
    std::vector<RefChange> changes;
};

// The brute-force book: two maps from tick to size units, plus the deltas
// retained since the last snapshot.
struct ReferenceBook {
    std::map<int64_t, int64_t> bids;
    std::map<int64_t, int64_t> asks;
    std::vector<RefDelta> history;

    void apply(const RefChange& c) {
        auto& side = c.side == Side::Bid ? bids : asks;
        if (c.units == 0) {
            side.erase(c.tick);
        } else {
            side[c.tick] = c.units;
        }
    }
    void apply(const RefDelta& d) {
        for (const RefChange& c : d.changes) apply(c);
    }
    void apply_snapshot(uint64_t id, const std::vector<RefChange>& levels) {
        bids.clear();
        asks.clear();
        for (const RefChange& c : levels) apply(c);
        std::erase_if(history, [&](const RefDelta& d) { return d.id <= id; });
        for (const RefDelta& d : history) apply(d);
    }

    // (tick, units) best first.
    std::vector<std::pair<int64_t, int64_t>> levels(Side side) const {
        if (side == Side::Bid) return {bids.rbegin(), bids.rend()};
        return {asks.begin(), asks.end()};
    }
};

std::optional<ExactDecimal> div(const ExactDecimal& a, const ExactDecimal& b) {
    return a.checked_div(b);
}

// Each query answered from the reference, in the same types as the book's.
struct ReferenceQueries {
    const ReferenceBook& ref;

    std::optional<Level> best(Side side) const {
        const auto l = ref.levels(side);
        if (l.empty()) return std::nullopt;
        return Level{price_of(l[0].first), size_of(l[0].second)};
    }
    // Best prices in hundredths and sizes in thousandths, when both exist.
    std::optional<std::tuple<int64_t, int64_t, int64_t, int64_t>> top() const {
        if (ref.bids.empty() || ref.asks.empty()) return std::nullopt;
        const auto [bt, bu] = *ref.bids.rbegin();
        const auto [at, au] = *ref.asks.begin();
        return std::tuple{5000 + 25 * bt, bu, 5000 + 25 * at, au};
    }
    std::optional<ExactDecimal> mid() const {
        const auto t = top();
        if (!t) return std::nullopt;
        // (pb + pa) / 2 in thousandths is exact.
        return ExactDecimal::from_parts((std::get<0>(*t) + std::get<2>(*t)) * 5, 3, false);
    }
    std::optional<ExactDecimal> spread() const {
        const auto t = top();
        if (!t) return std::nullopt;
        return ExactDecimal::from_parts(std::abs(std::get<2>(*t) - std::get<0>(*t)), 2, false);
    }
    std::optional<ExactDecimal> spread_bps() const {
        const auto s = spread();
        const auto m = mid();
        if (!s || !m || m->is_zero()) return std::nullopt;
        return div(*s, *m)->checked_mul(ExactDecimal::from_integer(10000));
    }
    std::optional<ExactDecimal> weighted(bool own_size) const {
        const auto t = top();
        if (!t) return std::nullopt;
        const auto [pb, sb, pa, sa] = *t;
        const int64_t numerator = own_size ? pb * sb + pa * sa : pb * sa + pa * sb;
        return div(*ExactDecimal::from_parts(numerator, 5, false), size_of(sb + sa));
    }
    std::optional<ExactDecimal> imbalance(size_t depth) const {
        int64_t b = 0;
        int64_t a = 0;
        const auto bl = ref.levels(Side::Bid);
        const auto al = ref.levels(Side::Ask);
        for (size_t i = 0; i < depth && i < bl.size(); ++i) b += bl[i].second;
        for (size_t i = 0; i < depth && i < al.size(); ++i) a += al[i].second;
        if (a + b == 0) return std::nullopt;
        const auto diff = ExactDecimal::from_parts(static_cast<u128>(std::abs(b - a)), 3, b < a);
        return div(*diff, size_of(a + b));
    }
    std::optional<ExactDecimal> level(Side side, int64_t tick) const {
        const auto& m = side == Side::Bid ? ref.bids : ref.asks;
        const auto it = m.find(tick);
        if (it == m.end()) return std::nullopt;
        return size_of(it->second);
    }
    std::vector<Level> top_n(Side side, size_t n) const {
        std::vector<Level> out;
        for (const auto& [tick, units] : ref.levels(side)) {
            if (out.size() == n) break;
            out.push_back(Level{price_of(tick), size_of(units)});
        }
        return out;
    }
    ExactDecimal depth_until_price(Side side, int64_t tick) const {
        int64_t total = 0;
        for (const auto& [t, units] : ref.levels(side)) {
            if (side == Side::Bid ? t < tick : t > tick) break;
            total += units;
        }
        return size_of(total);
    }
    std::optional<DepthUntilSize> depth_until_total_size(Side side, int64_t target) const {
        if (target <= 0) return std::nullopt;
        const auto l = ref.levels(side);
        int64_t total = 0;
        for (const auto& [tick, units] : l) {
            total += units;
            if (total >= target) {
                return DepthUntilSize{price_of(l[0].first), price_of(tick), size_of(total)};
            }
        }
        return std::nullopt;
    }
    ExactDecimal volume_between(Side side, int64_t from_tick, int64_t to_tick) const {
        int64_t total = 0;
        for (const auto& [tick, units] : ref.levels(side)) {
            if (tick >= from_tick && tick < to_tick) total += units;
        }
        return size_of(total);
    }
};

// Query prices are grid ticks, possibly outside [0, MAX_TICK] (still
// nonnegative prices); the same tick is compared on every book.
void expect_same_answers(const OrderBook& book, const ReferenceBook& ref, std::mt19937_64& rng) {
    const ReferenceQueries q{ref};
    ASSERT_EQ(best_bid(book), q.best(Side::Bid));
    ASSERT_EQ(best_ask(book), q.best(Side::Ask));
    ASSERT_EQ(mid_price(book), q.mid());
    ASSERT_EQ(spread(book), q.spread());
    ASSERT_EQ(spread_bps(book), q.spread_bps());
    ASSERT_EQ(weighted_mid_price(book), q.weighted(true));
    ASSERT_EQ(microprice(book), q.weighted(false));
    for (size_t depth : {0, 1, 3, 10, 1000}) ASSERT_EQ(imbalance(book, depth), q.imbalance(depth));
    // Several depths in one walk, given in no particular order and repeated.
    const uint64_t depths[] = {10, 0, 3, 1000, 1, 3, 2};
    std::array<std::optional<ExactDecimal>, std::size(depths)> together;
    imbalances(book, depths, together);
    for (size_t i = 0; i < std::size(depths); ++i) {
        ASSERT_EQ(together[i], q.imbalance(depths[i])) << "depth " << depths[i];
    }
    for (Side side : {Side::Bid, Side::Ask}) {
        SCOPED_TRACE(debug_name(side));
        for (size_t n : {1, 5, 1000}) ASSERT_EQ(top_n(book, side, n), q.top_n(side, n));
        const auto all = q.top_n(side, 1000);
        for (size_t n = 1; n <= all.size() + 1; n += 3) {
            ASSERT_EQ(nth_level(book, side, n),
                      n <= all.size() ? std::optional{all[n - 1]} : std::nullopt);
        }
        for (int i = 0; i < 4; ++i) {
            const int64_t tick = static_cast<int64_t>(rng() % (MAX_TICK + 41)) - 20;
            ASSERT_EQ(level(book, side, price_of(tick, static_cast<uint32_t>(rng() % 2))),
                      q.level(side, tick));
            ASSERT_EQ(depth_until_price(book, side, price_of(tick)),
                      q.depth_until_price(side, tick));
            const int64_t target = static_cast<int64_t>(rng() % 20000);
            ASSERT_EQ(depth_until_total_size(book, side, size_of(target)),
                      q.depth_until_total_size(side, target));
            const int64_t width = 1 + static_cast<int64_t>(rng() % 60);
            const auto volume =
                volume_between_prices(book, side, price_of(tick), price_of(tick + width));
            ASSERT_EQ(volume.value(), q.volume_between(side, tick, tick + width));
        }
    }
}

// One random update in both forms: the book's payload and the reference's.
struct Generated {
    OrderBookUpdate update;
    RefDelta ref;  // for a snapshot: its id and levels (side per change)
};

class StreamGenerator {
public:
    explicit StreamGenerator(uint64_t seed) : rng_(seed) {}
    std::mt19937_64& rng() { return rng_; }

    Generated next() {
        const uint64_t roll = rng_() % 100;
        if (roll < 8) return make_snapshot();
        uint64_t id = next_id_;
        if (roll < 12) {
            id = next_id_ + 1 + rng_() % 3;  // a gap
        } else if (roll < 15 && next_id_ > 4) {
            id = next_id_ - 1 - rng_() % 3;  // old or repeated
        }
        if (id >= next_id_) next_id_ = id + 1;
        return make_delta(id);
    }

private:
    // Prices cluster around a drifting mid, as in a real feed.
    int64_t near_top(Side side) {
        mid_ = std::clamp<int64_t>(mid_ + static_cast<int64_t>(rng_() % 3) - 1, 10, MAX_TICK - 10);
        const int64_t depth = rng_() % 10 == 0 ? static_cast<int64_t>(rng_() % 200)
                                               : static_cast<int64_t>(rng_() % 6);
        const int64_t tick = side == Side::Bid ? mid_ - depth : mid_ + 1 + depth;
        return std::clamp<int64_t>(tick, 0, MAX_TICK);
    }
    int64_t units(int zero_percent) {
        if (static_cast<int>(rng_() % 100) < zero_percent) return 0;
        return 1 + static_cast<int64_t>(rng_() % 5000);
    }
    uint32_t zeros() { return rng_() % 4 == 0 ? static_cast<uint32_t>(1 + rng_() % 3) : 0; }

    Generated make_delta(uint64_t id) {
        Generated g{OrderBookDelta{{}, id}, RefDelta{id, {}}};
        auto& changes = std::get<OrderBookDelta>(g.update).changes;
        const size_t count = 1 + rng_() % 5;
        for (size_t i = 0; i < count; ++i) {
            const Side side = rng_() % 2 == 0 ? Side::Bid : Side::Ask;
            const RefChange c{side, near_top(side), units(15)};
            changes.push_back(
                LevelChange{price_of(c.tick, zeros()), size_of(c.units, zeros()), side});
            g.ref.changes.push_back(c);
        }
        return g;
    }

    Generated make_snapshot() {
        // Usually a little behind the newest delta, sometimes stale.
        const uint64_t id = next_id_ > 6 ? next_id_ - 1 - rng_() % 6 : next_id_;
        Generated g{OrderBookSnapshot{{}, {}, id}, RefDelta{id, {}}};
        auto& snapshot = std::get<OrderBookSnapshot>(g.update);
        for (Side side : {Side::Bid, Side::Ask}) {
            auto& list = side == Side::Bid ? snapshot.bids : snapshot.asks;
            std::vector<RefChange> levels;
            const size_t count = rng_() % 40;
            for (size_t i = 0; i < count; ++i) levels.push_back({side, near_top(side), units(5)});
            // Mostly best first and unique, as feeds send them; otherwise any
            // order with repeats.
            if (rng_() % 3 != 0) {
                std::sort(levels.begin(), levels.end(),
                          [&](const RefChange& a, const RefChange& b) {
                              return side == Side::Bid ? a.tick > b.tick : a.tick < b.tick;
                          });
                levels.erase(std::unique(levels.begin(), levels.end(),
                                         [](const RefChange& a, const RefChange& b) {
                                             return a.tick == b.tick;
                                         }),
                             levels.end());
            }
            for (const RefChange& c : levels) {
                list.push_back(Level{price_of(c.tick, zeros()), size_of(c.units, zeros())});
                g.ref.changes.push_back(c);
            }
        }
        return g;
    }

    std::mt19937_64 rng_;
    uint64_t next_id_ = 1;
    int64_t mid_ = MAX_TICK / 2;
};

void commit_reference(ReferenceBook& ref, const PreparedUpdate& prepared, const Generated& g) {
    const bool is_snapshot = std::holds_alternative<OrderBookSnapshot>(g.update);
    std::visit(
        [&](const auto& decision) {
            using D = std::decay_t<decltype(decision)>;
            if constexpr (std::is_same_v<D, PreparedUpdate::Buffer>) {
                ref.history.push_back(g.ref);
            } else if constexpr (std::is_same_v<D, PreparedUpdate::ApplyDelta>) {
                ref.apply(g.ref);
                ref.history.push_back(g.ref);
            } else if constexpr (std::is_same_v<D, PreparedUpdate::ApplySnapshot>) {
                ref.apply_snapshot(g.ref.id, g.ref.changes);
            } else if constexpr (std::is_same_v<D, PreparedUpdate::Reject>) {
                if (!is_snapshot && (decision.action == RejectAction::RetainDelta ||
                                     decision.action == RejectAction::RetainDeltaAndResync)) {
                    ref.history.push_back(g.ref);
                }
            }
        },
        prepared.value);
}

void run_stream(uint64_t seed, UpdatePolicy policy, size_t buffer_size, int updates) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    OrderBook sparse = sparse_book(buffer_size, policy);
    OrderBook dense = dense_book(buffer_size, policy, "0.25", "50", "150");
    ReferenceBook ref;
    StreamGenerator stream(seed);
    size_t applied = 0;
    for (int step = 0; step < updates; ++step) {
        SCOPED_TRACE("update " + std::to_string(step));
        Generated g = stream.next();
        const PreparedUpdate prepared = std::visit(
            [&](const auto& payload) { return sparse.prepare_update(payload); }, g.update);
        const PreparedUpdate prepared_dense = std::visit(
            [&](const auto& payload) { return dense.prepare_update(payload); }, g.update);
        ASSERT_EQ(prepared, prepared_dense);

        const auto outcome = sparse.commit_update(prepared, OrderBookUpdate(g.update));
        ASSERT_EQ(dense.commit_update(prepared_dense, OrderBookUpdate(g.update)), outcome);
        commit_reference(ref, prepared, g);
        if (outcome == UpdateOutcome::Applied || outcome == UpdateOutcome::Resynchronized) {
            ++applied;
        }

        ASSERT_EQ(sparse.state(), dense.state());
        ASSERT_EQ(sparse.last_update_id(), dense.last_update_id());
        ASSERT_EQ(sparse.history().size(), ref.history.size());
        ASSERT_NO_FATAL_FAILURE(expect_same_answers(sparse, ref, stream.rng()));
        ASSERT_NO_FATAL_FAILURE(expect_same_answers(dense, ref, stream.rng()));
    }
    // The stream must actually exercise the book, not just refuse updates.
    EXPECT_GT(applied, static_cast<size_t>(updates) / 10);
}

TEST(OrderBookDifferential, SparseDenseAndReferenceAgree) {
    for (uint64_t seed : {1, 2, 3}) run_stream(seed, UpdatePolicy::Contiguous, 64, 3000);
    for (uint64_t seed : {4, 5}) run_stream(seed, UpdatePolicy::Monotonic, 64, 3000);
    // A small history overflows often and forces resynchronisations.
    run_stream(6, UpdatePolicy::Contiguous, 4, 2000);
}

}  // namespace
}  // namespace zelk
