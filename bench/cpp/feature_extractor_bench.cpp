// Extractor dispatch: one price event routed to one Field derivation.
#include <benchmark/benchmark.h>

#include "zelk/features/feature_extractor.hpp"

namespace zelk {
namespace {

#ifndef NDEBUG
const bool warned = [] {
    std::fputs("warning: benchmarks built without optimisation; figures are meaningless\n",
               stderr);
    return true;
}();
#endif

FeatureExtractor field_extractor(Symbol symbol) {
    Compilation c;
    c.derivations = {FieldDerivation(SourceField::Price)};
    c.output_ranges = {{0, 1}};
    c.feature_ids = {"price"};
    c.context_flags = {false};
    const Route routes[] = {{symbol, RouteKind::Price}};
    c.router = *EventRouter::from_routes(routes);
    return *FeatureExtractor::create(VecFeatureVector::new_of_length(1, 1), std::move(c));
}

void BM_HandlePriceEventOneField(benchmark::State& state) {
    const Symbol symbol = *intern("bench");
    auto extractor = field_extractor(symbol);
    Timestamp t = 0;
    double price = 100.0;
    for (auto _ : state) {
        auto status = extractor.handle_event(Event::price(symbol, ++t, price));
        benchmark::DoNotOptimize(status);
        price += 0.25;
    }
    benchmark::DoNotOptimize(extractor.vector().values()[0]);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HandlePriceEventOneField);

}  // namespace
}  // namespace zelk
