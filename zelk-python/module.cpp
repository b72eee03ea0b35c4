// The _zelk extension module: loads NumPy's C API, registers the classes,
// then the integer constants, and lists every name in __all__.
#include <nanobind/nanobind.h>

#include "zelk-python/module.hpp"
#include "zelk-python/numpy_arrays.hpp"

namespace nb = nanobind;

NB_MODULE(_zelk, m) {
    m.doc() = "Market events to exact, fixed-width feature vectors.";

    using namespace zelk::python;
    import_numpy();
    add_order_book_event(m);
    add_warmup_policy(m);
    add_feature_extractor_spec(m);
    add_feature_extractor(m);
    static constexpr const char* CLASSES[] = {
        "OrderBookEvent",
        "WarmupPolicy",
        "FeatureExtractorSpec",
        "FeatureExtractor",
    };

    // Row kinds of the batch and live APIs, and trade-side column values.
    // KIND_TIME (4) builds a Time event; book events arrive as OrderBookEvent
    // objects, so KIND_ORDERBOOK is refused by the scalar paths.
    static constexpr std::pair<const char*, int> CONSTANTS[] = {
        {"KIND_PRICE", 0},          {"KIND_VOLUME", 1}, {"KIND_TRADE", 2},
        {"KIND_ORDERBOOK", 3},      {"KIND_TIME", 4},   {"SIDE_AGGRESSOR_BUY", 0},
        {"SIDE_AGGRESSOR_SELL", 1},
    };
    nb::list all;
    for (const char* name : CLASSES) all.append(name);
    for (const auto& [name, value] : CONSTANTS) {
        m.attr(name) = value;
        all.append(name);
    }
    m.attr("__all__") = all;
}
