// handle_event throughput for a realistic spec: about twenty outputs over
// prices, trades and one book (returns, volatility windows, a timed VWAP,
// CVD, mid, spread, microprice, imbalance over three depths), fed a mixed
// stream of prices, trades and small book deltas.
#include <benchmark/benchmark.h>

#include <optional>
#include <random>

#include "zelk/features/spec.hpp"
#include "zelk/symbols.hpp"

namespace zelk {
namespace {

#ifndef NDEBUG
const bool warned = [] {
    std::fputs("warning: benchmarks built without optimisation; figures are meaningless\n", stderr);
    return true;
}();
#endif

ExactDecimal dec(int64_t ticks) {
    return *ExactDecimal::from_parts(ticks, 2, false);
}

FeatureExtractor realistic_extractor(Symbol s) {
    const auto price = FeatureSource::of_field(ScalarField::Price);
    const auto trades = FeatureSource::of_event(EventKind::Trade);
    const auto second = Duration::from_millis(1000);
    std::vector<FeatureKey> keys = {
        FeatureKey::field_of(s, ScalarField::Price),
        FeatureKey::returns(s, price, 1, false),
        FeatureKey::returns(s, price, 5, false),
        FeatureKey::returns(s, price, 1, true),
        FeatureKey::volatility(s, price, 10, WarmupPolicy::FullWindow),
        FeatureKey::volatility(s, price, 50, WarmupPolicy::FullWindow),
        FeatureKey::volatility(s, price, 200, WarmupPolicy::FullWindow),
        FeatureKey::timed(FeatureKind::VwapTimed, s, trades, second, Duration::from_millis(60000),
                          WarmupPolicy::FirstValue),
        FeatureKey::timed(FeatureKind::VwapTimed, s, trades, second, Duration::from_millis(300000),
                          WarmupPolicy::FirstValue),
        FeatureKey::cvd(s, trades, 100, WarmupPolicy::FirstValue),
        FeatureKey::cvd(s, trades, 1000, WarmupPolicy::FirstValue),
        FeatureKey::field_of(s, ScalarField::TradeVolume),
        FeatureKey::book_scalar(FeatureKind::OrderBookMidPrice, s),
        FeatureKey::book_scalar(FeatureKind::OrderBookSpread, s),
        FeatureKey::book_scalar(FeatureKind::OrderBookMicroprice, s),
        FeatureKey::book_scalar(FeatureKind::OrderBookBestBidPrice, s),
        FeatureKey::book_scalar(FeatureKind::OrderBookBestAskPrice, s),
        FeatureKey::book_imbalance(s, 1),
        FeatureKey::book_imbalance(s, 5),
        FeatureKey::book_imbalance(s, 10),
    };
    std::vector<FeatureDefinition> definitions;
    for (auto& k : keys) definitions.push_back(FeatureDefinition::with_default_id(k));
    const size_t n = definitions.size();
    auto spec =
        FeatureExtractorSpec::with_metadata(std::move(definitions), n, std::nullopt)
            ->with_order_books({{s, OrderBookConfig{1024, std::nullopt, UpdatePolicy::Monotonic}}});
    return std::move(*spec->build());
}

// Which events the stream holds: the realistic mix (a third each of prices,
// trades and book deltas), or one kind alone to see what each costs.
enum class Mix : int64_t { All, Prices, Trades, Deltas };

// Events are prebuilt so the loop measures dispatch, not generation; each
// iteration handles one event (copies of the book events' small payloads).
std::vector<Event> mixed_stream(Symbol s, size_t n, Mix mix) {
    std::mt19937_64 rng(42);
    std::vector<Event> events;
    events.reserve(n + 1);
    OrderBookSnapshot snapshot;
    for (int i = 0; i < 20; ++i) {
        snapshot.bids.push_back({dec(10000 - i), dec(100 + i)});
        snapshot.asks.push_back({dec(10001 + i), dec(100 + i)});
    }
    snapshot.update_id = 1;
    events.push_back(Event(OrderBookSnapshotEvent{snapshot, 0, s}));
    uint64_t update_id = 1;
    double price = 100.0;
    size_t deltas = 0;
    for (size_t i = 0; i < n; ++i) {
        const Timestamp t = static_cast<Timestamp>(i * 10);
        // A feed resends a snapshot well within the delta history's capacity.
        if (deltas == 500) {
            snapshot.update_id = update_id;
            events.push_back(Event(OrderBookSnapshotEvent{snapshot, t, s}));
            deltas = 0;
            continue;
        }
        price += (static_cast<double>(rng() % 201) - 100.0) * 0.001;
        const uint64_t pick = rng() % 3;
        const uint64_t wanted = mix == Mix::All ? pick : static_cast<uint64_t>(mix) - 1;
        switch (wanted) {
            case 0:
                events.push_back(Event::price(s, t, price));
                break;
            case 1:
                events.push_back(
                    Event::trade(s, t, price, 0.5 + static_cast<double>(rng() % 10),
                                 rng() % 2 ? AggressorSide::Buy : AggressorSide::Sell));
                break;
            default: {
                OrderBookDelta delta;
                delta.update_id = ++update_id;
                ++deltas;
                const int changes = 1 + static_cast<int>(rng() % 3);
                for (int c = 0; c < changes; ++c) {
                    const bool bid = rng() % 2;
                    const int64_t level = static_cast<int64_t>(rng() % 5);
                    delta.changes.push_back({dec(bid ? 10000 - level : 10001 + level),
                                             dec(static_cast<int64_t>(rng() % 4) * 50),
                                             bid ? Side::Bid : Side::Ask});
                }
                events.push_back(Event(OrderBookDeltaEvent{std::move(delta), t, s}));
            }
        }
    }
    return events;
}

void BM_HandleEventRealisticSpec(benchmark::State& state) {
    const Symbol s = *intern("bench-realistic");
    const std::vector<Event> stream = mixed_stream(s, 1 << 16, static_cast<Mix>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        std::optional<FeatureExtractor> extractor = realistic_extractor(s);
        std::vector<Event> events = stream;
        state.ResumeTiming();
        for (Event& e : events) {
            if (!extractor->handle_event(std::move(e))) state.SkipWithError("event refused");
        }
        benchmark::DoNotOptimize(extractor->vector().values()[0]);
        // Freeing the consumed events and the extractor is not dispatch.
        state.PauseTiming();
        events.clear();
        extractor.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(stream.size()));
}
BENCHMARK(BM_HandleEventRealisticSpec)
    ->ArgName("mix_all0_prices1_trades2_deltas3")
    ->DenseRange(0, 3)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zelk
