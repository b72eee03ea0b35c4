// Python binding of FeatureExtractor: a thin shell over the runtime driver
// whose core is the compiled feature extractor.
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/string_view.h>
#include <nanobind/stl/vector.h>

#include "zelk-python/arguments.hpp"
#include "zelk-python/fast_call.hpp"
#include "zelk-python/feature_extractor_spec.hpp"
#include "zelk-python/module.hpp"
#include "zelk-python/runtime.hpp"
#include "zelk/features/artifacts/feature_extractor_spec.hpp"

namespace zelk::python {

namespace nb = nanobind;
using namespace nb::literals;

namespace {

// The feature extractor as a driver core: its raw vector is the output.
class ExtractorCore {
  public:
    explicit ExtractorCore(FeatureExtractor extractor) : extractor_(std::move(extractor)) {}

    Status handle_event(Event event) { return extractor_.handle_event(std::move(event)); }
    Status update_context(std::span<const ContextUpdate> updates) {
        return extractor_.update_context(updates);
    }
    Status validate_context(std::span<const ContextUpdate> updates) const {
        return extractor_.validate_context(updates);
    }
    std::span<const double> output() const { return extractor_.vector().values(); }
    std::span<const double> raw_output() const { return extractor_.vector().values(); }
    const FeatureExtractor& extractor() const { return extractor_; }

  private:
    FeatureExtractor extractor_;
};

using ExtractorDriver = RuntimeDriver<ExtractorCore>;

// Builds the extractor, then checks the dtype: a bad spec is reported before
// a bad dtype.
ExtractorDriver build_driver(const FeatureExtractorSpec& spec, const DtypeArgument& output_dtype) {
    FeatureExtractor extractor = unwrap(spec.build());
    const OutputDtype dtype = parse_output_dtype(output_dtype);
    RuntimeLayout layout;
    layout.names = complete_names(extractor.feature_ids(), extractor.capacity());
    layout.raw_names = layout.names;
    layout.active_count = extractor.active_length();
    layout.class_name = "FeatureExtractor";
    layout.label = "extractor";
    return ExtractorDriver(ExtractorCore(std::move(extractor)), dtype, std::move(layout));
}

ExtractorDriver from_json_text(std::string_view json, const DtypeArgument& output_dtype) {
    auto spec = from_json(json);
    if (!spec) raise_value_error(spec.error().message);
    return build_driver(*spec, output_dtype);
}

ScalarRow scalar_row(uint8_t kind, int64_t symbol, Timestamp timestamp,
                     const std::optional<double>& price, const std::optional<double>& volume,
                     const std::optional<uint8_t>& side) {
    return ScalarRow{kind,
                     symbol,
                     timestamp,
                     price ? &*price : nullptr,
                     volume ? &*volume : nullptr,
                     side ? &*side : nullptr};
}

}  // namespace

void add_feature_extractor(nb::module_& m) {
    const auto column = [](const char* name) { return nb::arg(name).noconvert(); };
    const auto optional_column = [](const char* name) {
        return nb::arg(name).noconvert() = nb::none();
    };

    nb::class_<ExtractorDriver> cls(
        m, "FeatureExtractor",
        "Runs a compiled FeatureExtractorSpec: batch replay of NumPy columns and live stepping\n"
        "share one event path, so both produce exactly the same raw feature values.");
    cls.def(
           "__init__",
           [](ExtractorDriver* self, const SpecBuilder& spec, const DtypeArgument& output_dtype) {
               new (self) ExtractorDriver(build_driver(spec.spec(), output_dtype));
           },
           "feature_extractor_spec"_a, "output_dtype"_a = "float64")
        .def_static("from_json", &from_json_text, "json"_a, "output_dtype"_a = "float64",
                    "Build an extractor directly from versioned FeatureExtractorSpec JSON.")
        .def_prop_rw(
            "output_dtype",
            [](const ExtractorDriver& self) { return std::string(to_string(self.output_dtype())); },
            [](ExtractorDriver& self, const DtypeArgument& value) { self.set_output_dtype(value); },
            nb::for_getter("Numeric dtype used by arrays returned to Python."),
            nb::for_setter("Change the output dtype before the first event is processed."))
        .def("symbol", &ExtractorDriver::symbol, "name"_a,
             "Stable runtime-local integer handle of a symbol name.\n"
             "\n"
             "Raises ValueError once the process-wide limit of 512 symbols (including GLOBAL)\n"
             "is reached; existing names remain usable with unchanged handles.")
        .def(
            "feature_names", [](const ExtractorDriver& self) { return self.layout().names; },
            "Feature (column) names in output order.")
        .def(
            "n_features", [](const ExtractorDriver& self) { return self.width(); },
            "Number of feature columns.")
        .def(
            "active_feature_count",
            [](const ExtractorDriver& self) { return self.layout().active_count; },
            "Number of configured outputs, excluding trailing reserved cells.")
        .def("values", &ExtractorDriver::values,
             "Current feature values in output_dtype. A window cell is NaN until its warm-up\n"
             "policy is satisfied and a current value exists.")
        .def(
            "update",
            [](ExtractorDriver& self, uint8_t kind, int64_t symbol, Timestamp timestamp,
               std::optional<double> price, std::optional<double> volume,
               std::optional<uint8_t> side, std::optional<double>, std::optional<double>) {
                self.update(scalar_row(kind, symbol, timestamp, price, volume, side));
            },
            "kind"_a, "symbol"_a, "timestamp"_a, nb::kw_only(), "price"_a = nb::none(),
            "volume"_a = nb::none(), "side"_a = nb::none(), "bid"_a = nb::none(),
            "ask"_a = nb::none(), "Apply one event (live stepping); read the result with values().")
        .def(
            "transform",
            [](ExtractorDriver& self, const KindColumn& kind, const HandleColumn& symbol,
               const TimestampColumn& timestamp, const std::optional<ValueColumn>& price,
               const std::optional<ValueColumn>& volume, const std::optional<SideColumn>& side,
               const std::optional<ValueColumn>& bid, const std::optional<ValueColumn>& ask,
               const std::optional<RowContextDict>& context_updates) {
                const BatchColumns columns{view_of(kind),  view_of(symbol), view_of(timestamp),
                                           view_of(price), view_of(volume), view_of(side),
                                           view_of(bid),   view_of(ask)};
                return self.transform(
                    columns, context_updates ? nb::handle(*context_updates) : nb::handle(Py_None));
            },
            column("kind"), column("symbol"), column("timestamp"), nb::kw_only(),
            optional_column("price"), optional_column("volume"), optional_column("side"),
            optional_column("bid"), optional_column("ask"), "context_updates"_a = nb::none(),
            "Replay a batch of events given as NumPy columns; returns one row of feature\n"
            "values per event, an array of shape (n_rows, n_features).")
        .def(
            "update_context",
            [](ExtractorDriver& self, const ContextDict& updates) { self.update_context(updates); },
            "updates"_a, "Replace context values atomically without advancing market-event state.")
        .def("update_order_book", &ExtractorDriver::update_order_book, "event"_a,
             "Applies a validated snapshot/delta, preserving core synchronization semantics.")
        .def(
            "transform_order_book",
            [](ExtractorDriver& self, const std::vector<const OrderBookEvent*>& events,
               const std::optional<RowContextDict>& context_updates) {
                return self.transform_order_book(
                    events, context_updates ? nb::handle(*context_updates) : nb::handle(Py_None));
            },
            "events"_a, nb::kw_only(), "context_updates"_a = nb::none(),
            "Replay a list of OrderBookEvent objects; returns one row per event. A\n"
            "state-dependent error reports row N: prior rows remain applied, later rows are\n"
            "skipped, and the rejected row keeps the core's resynchronisation effects.");

    RuntimeFastCalls<ExtractorDriver>::install(cls);

    // Deleting the dtype is refused with a TypeError rather than Python's
    // default AttributeError for a property without a deleter.
    nb::object property = cls.attr("output_dtype");
    nb::object deleter =
        nb::cpp_function([](nb::handle) { throw nb::type_error("can't delete attribute"); });
    cls.attr("output_dtype") = nb::handle(reinterpret_cast<PyObject*>(&PyProperty_Type))(
        property.attr("fget"), property.attr("fset"), deleter, property.attr("__doc__"));
}

}  // namespace zelk::python
