// Order-book hot paths: delta application (prepare + commit, one to five
// level changes per delta, prices near the top), the scalar queries, and the
// sparse side's sorted array against a std::map holding the same levels.
//
// Delta batches are rebuilt with the timer paused, because commit consumes
// each delta; the figure to read is items_per_second = level updates/s.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "zelk/order_book/book.hpp"
#include "zelk/order_book/queries.hpp"
#include "zelk/order_book/sparse_book_side.hpp"

namespace {

using namespace zelk;

#if !defined(__OPTIMIZE__)
const bool UNOPTIMIZED_WARNING = [] {
    benchmark::AddCustomContext("warning", "built without optimisation; figures are not meaningful");
    return true;
}();
#endif

// Prices are 30000.00 +- ticks of 0.01; sizes have three decimals.
constexpr int64_t MID_UNITS = 3000000;
constexpr int64_t SEED_LEVELS = 50;
constexpr size_t BATCH = 4096;

ExactDecimal price_at(int64_t ticks_from_mid) {
    return *ExactDecimal::from_parts(static_cast<u128>(MID_UNITS + ticks_from_mid), 2, false);
}
ExactDecimal size_units(uint64_t units) { return *ExactDecimal::from_parts(units, 3, false); }

OrderBook empty_book(bool dense, size_t buffer_size) {
    std::optional<DenseBookConfig> grid;
    if (dense) {
        grid = DenseBookConfig{*ExactDecimal::parse("0.01"), *ExactDecimal::parse("29000"),
                               *ExactDecimal::parse("31000")};
    }
    return OrderBookConfig{buffer_size, grid, UpdatePolicy::Contiguous}.build().value();
}

OrderBookSnapshot seed_snapshot(uint64_t id) {
    OrderBookSnapshot snapshot{{}, {}, id};
    for (int64_t k = 0; k < SEED_LEVELS; ++k) {
        snapshot.bids.push_back(Level{price_at(-k), size_units(1000 + 7 * k)});
        snapshot.asks.push_back(Level{price_at(1 + k), size_units(1000 + 11 * k)});
    }
    return snapshot;
}

// Where feed updates land: mostly the first five levels, sometimes deeper.
int64_t depth_near_top(std::mt19937_64& rng) {
    return rng() % 5 == 0 ? static_cast<int64_t>(5 + rng() % 15) : static_cast<int64_t>(rng() % 5);
}

std::vector<OrderBookDelta> make_deltas(size_t count, uint64_t seed, size_t* level_changes) {
    std::mt19937_64 rng(seed);
    std::vector<OrderBookDelta> deltas(count);
    *level_changes = 0;
    for (OrderBookDelta& d : deltas) {
        const size_t changes = 1 + rng() % 5;
        for (size_t i = 0; i < changes; ++i) {
            const Side side = rng() % 2 == 0 ? Side::Bid : Side::Ask;
            const int64_t depth = depth_near_top(rng);
            const int64_t ticks = side == Side::Bid ? -depth : 1 + depth;
            // One change in five removes its level; later ones put it back.
            const uint64_t units = rng() % 5 == 0 ? 0 : 1 + rng() % 100000;
            d.changes.push_back(LevelChange{price_at(ticks), size_units(units), side});
        }
        *level_changes += changes;
    }
    return deltas;
}

void BM_ApplyDeltas(benchmark::State& state, bool dense) {
    size_t changes_per_batch = 0;
    const std::vector<OrderBookDelta> templates = make_deltas(BATCH, 42, &changes_per_batch);
    OrderBook book = empty_book(dense, BATCH);
    uint64_t next_id = 1;
    size_t level_updates = 0;
    for (auto _ : state) {
        state.PauseTiming();
        // A snapshot at the last applied ID resets the levels and empties the
        // history, so every batch starts from the same book.
        OrderBookUpdate reset = seed_snapshot(next_id - 1);
        const PreparedUpdate prepared_reset = book.prepare_update(std::get<OrderBookSnapshot>(reset));
        if (!book.commit_update(prepared_reset, std::move(reset))) state.SkipWithError("snapshot");
        std::vector<OrderBookDelta> batch = templates;
        for (OrderBookDelta& d : batch) d.update_id = next_id++;
        state.ResumeTiming();

        for (OrderBookDelta& d : batch) {
            const PreparedUpdate prepared = book.prepare_update(d);
            auto outcome = book.commit_update(prepared, OrderBookUpdate(std::move(d)));
            benchmark::DoNotOptimize(outcome);
        }
        level_updates += changes_per_batch;
    }
    if (book.state() != SyncState::Synchronized) state.SkipWithError("book lost synchronisation");
    state.SetItemsProcessed(static_cast<int64_t>(level_updates));
}
BENCHMARK_CAPTURE(BM_ApplyDeltas, sparse, false);
BENCHMARK_CAPTURE(BM_ApplyDeltas, dense, true);

// A synchronised book with SEED_LEVELS levels per side.
OrderBook query_book(bool dense) {
    OrderBook book = empty_book(dense, 16);
    OrderBookUpdate snapshot = seed_snapshot(1);
    const PreparedUpdate prepared = book.prepare_update(std::get<OrderBookSnapshot>(snapshot));
    (void)book.commit_update(prepared, std::move(snapshot));
    return book;
}

template <typename Query>
void register_query(const std::string& name, Query query) {
    for (const bool dense : {false, true}) {
        benchmark::RegisterBenchmark(
            ("BM_Query/" + name + (dense ? "/dense" : "/sparse")).c_str(),
            [dense, query](benchmark::State& state) {
                const OrderBook book = query_book(dense);
                for (auto _ : state) {
                    const OrderBook* b = &book;
                    benchmark::DoNotOptimize(b);
                    benchmark::DoNotOptimize(query(*b));
                }
            });
    }
}

const bool QUERIES_REGISTERED = [] {
    const ExactDecimal five_deep = price_at(-5);
    const ExactDecimal near_top = price_at(-2);
    const ExactDecimal target = size_units(5000);
    const ExactDecimal range_from = price_at(-10);
    const ExactDecimal range_to = price_at(0);
    register_query("best_bid", [](const OrderBook& b) { return best_bid(b); });
    register_query("best_ask", [](const OrderBook& b) { return best_ask(b); });
    register_query("mid_price", [](const OrderBook& b) { return mid_price(b); });
    register_query("spread", [](const OrderBook& b) { return spread(b); });
    register_query("spread_bps", [](const OrderBook& b) { return spread_bps(b); });
    register_query("weighted_mid_price", [](const OrderBook& b) { return weighted_mid_price(b); });
    register_query("microprice", [](const OrderBook& b) { return microprice(b); });
    register_query("imbalance_5", [](const OrderBook& b) { return imbalance(b, 5); });
    register_query("level", [=](const OrderBook& b) { return level(b, Side::Bid, near_top); });
    register_query("nth_level_5", [](const OrderBook& b) { return nth_level(b, Side::Ask, 5); });
    register_query("depth_until_price_5",
                   [=](const OrderBook& b) { return depth_until_price(b, Side::Bid, five_deep); });
    register_query("depth_until_total_size_5", [=](const OrderBook& b) {
        return depth_until_total_size(b, Side::Bid, target);
    });
    register_query("volume_between_prices_10", [=](const OrderBook& b) {
        return volume_between_prices(b, Side::Bid, range_from, range_to);
    });
    return true;
}();

// The sparse side's container against std::map, on the same level updates.
// Arguments: levels in the side, and whether updates land near the top (1)
// or anywhere in the side (0).
std::vector<std::pair<ExactDecimal, ExactDecimal>> side_updates(int64_t levels, bool near_top) {
    std::mt19937_64 rng(7);
    std::vector<std::pair<ExactDecimal, ExactDecimal>> updates(BATCH);
    for (auto& [price, size] : updates) {
        const int64_t depth =
            near_top ? depth_near_top(rng) : static_cast<int64_t>(rng() % static_cast<uint64_t>(levels));
        price = price_at(-depth);
        size = size_units(rng() % 5 == 0 ? 0 : 1 + rng() % 100000);
    }
    return updates;
}

void BM_SparseSide(benchmark::State& state) {
    const int64_t levels = state.range(0);
    const auto updates = side_updates(levels, state.range(1) != 0);
    SparseBookSide side(Side::Bid);
    for (int64_t k = 0; k < levels; ++k) side.update_level(price_at(-k), size_units(1000));
    size_t i = 0;
    for (auto _ : state) {
        const auto& [price, size] = updates[i];
        side.update_level(price, size);
        i = i + 1 == updates.size() ? 0 : i + 1;
    }
    benchmark::DoNotOptimize(side.best());
    state.SetItemsProcessed(state.iterations());
}

void BM_StdMapSide(benchmark::State& state) {
    const int64_t levels = state.range(0);
    const auto updates = side_updates(levels, state.range(1) != 0);
    std::map<ExactDecimal, ExactDecimal, std::greater<>> side;  // bids, best first
    for (int64_t k = 0; k < levels; ++k) side.insert_or_assign(price_at(-k), size_units(1000));
    size_t i = 0;
    for (auto _ : state) {
        const auto& [price, size] = updates[i];
        if (size.is_zero()) {
            side.erase(price);
        } else {
            side.insert_or_assign(price, size);
        }
        i = i + 1 == updates.size() ? 0 : i + 1;
    }
    benchmark::DoNotOptimize(side.begin()->second);
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_SparseSide)->ArgsProduct({{50, 1000}, {1, 0}});
BENCHMARK(BM_StdMapSide)->ArgsProduct({{50, 1000}, {1, 0}});

}  // namespace
