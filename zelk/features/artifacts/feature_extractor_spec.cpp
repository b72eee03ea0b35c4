#include "zelk/features/artifacts/feature_extractor_spec.hpp"

#include <map>
#include <set>
#include <unordered_map>

#include <fmt/format.h>

#include "zelk/features/artifacts/early_return.hpp"
#include "zelk/features/artifacts/feature_extractor_document.hpp"
#include "zelk/features/artifacts/feature_kind_text.hpp"
#include "zelk/features/artifacts/indicator_reader.hpp"
#include "zelk/features/artifacts/json_reader.hpp"
#include "zelk/features/artifacts/json_writer.hpp"
#include "zelk/features/artifacts/kind_rules.hpp"
#include "zelk/features/artifacts/serialization.hpp"
#include "zelk/features/group_key.hpp"
#include "zelk/symbols.hpp"

namespace zelk {

namespace {

using namespace artifact;

// ---- Reading ---------------------------------------------------------------

ArtifactResult<Symbol> intern_at(const Located<std::string>& name) {
    auto symbol = intern(name.value);
    if (!symbol) return fail(to_string(symbol.error()), name.position);
    return *symbol;
}

ArtifactResult<RequiredEventSet> read_required_events(const FeatureExtractorDocument& doc) {
    RequiredEventSet declared;
    for (const RequiredEventDocument& e : doc.required_events.value) {
        auto event = parse_event_name(e.event.value);
        if (!event) return fail(event.error().message, e.event.position);
        ZELK_TRY(symbol, intern_at(e.symbol));
        if ((*event == EventKind::Time) != symbol.is_global()) {
            return fail(fmt::format("event {} has invalid symbol {}", quoted(e.event.value),
                                    quoted(e.symbol.value)),
                        e.position);
        }
        if (!declared.insert({symbol, *event}).second) {
            return fail("duplicate normalized required event", e.position);
        }
    }
    return declared;
}

ArtifactResult<ExactDecimal> read_grid_value(const OptionalText& text, std::string_view field,
                                             Position dense_at) {
    if (!text) return fail(missing_book_parameter(field).message, dense_at);
    auto value = parse_book_decimal(field, text->value);
    if (!value) return fail(value.error().message, text->position);
    return *value;
}

ArtifactResult<std::vector<OrderBookEntry>> read_order_books(const FeatureExtractorDocument& doc) {
    std::vector<OrderBookEntry> books;
    if (!doc.order_books) return books;
    for (const OrderBookDocument& b : doc.order_books->value) {
        if (b.symbol.value.empty()) {
            return fail("order-book symbol must not be empty", b.symbol.position);
        }
        ZELK_TRY(symbol, intern_at(b.symbol));
        OrderBookConfig config;
        config.buffer_size = b.buffer_size.value;
        config.update_policy = b.update_policy.value;
        if (b.dense) {
            // The grid itself is validated with the other books by with_order_books.
            ZELK_TRY(tick, read_grid_value(b.dense->tick_size, "tick_size", b.dense->position));
            ZELK_TRY(min, read_grid_value(b.dense->min_price, "min_price", b.dense->position));
            ZELK_TRY(max, read_grid_value(b.dense->max_price, "max_price", b.dense->position));
            config.dense = DenseBookConfig{tick, min, max};
        }
        books.push_back(OrderBookEntry{symbol, config});
    }
    return books;
}

ArtifactResult<FeatureExtractorSpec> read_spec(const FeatureExtractorDocument& doc) {
    if (doc.version.value != FEATURE_EXTRACTOR_SPEC_VERSION) {
        return fail(fmt::format("unsupported feature-vector spec version {}; expected {}; migrate "
                                "sample averages to field extraction plus sma/ema pipeline "
                                "transformations",
                                quoted(doc.version.value), quoted(FEATURE_EXTRACTOR_SPEC_VERSION)),
                    doc.version.position);
    }

    RequiredEventSet derived;
    std::vector<ReadDefinition> read;
    std::set<Symbol> groups;
    for (const FeatureGroupDocument& group : doc.features.value) {
        if (group.symbol.value.empty()) {
            return fail("feature group symbol must not be empty", group.symbol.position);
        }
        if (group.indicators.value.empty()) {
            return fail(fmt::format("feature group {} must contain at least one indicator",
                                    quoted(group.symbol.value)),
                        group.indicators.position);
        }
        ZELK_TRY(symbol, intern_at(group.symbol));
        if (!groups.insert(symbol).second) {
            return fail(fmt::format("duplicate normalized symbol group {}",
                                    quoted(resolve_as_string(symbol))),
                        group.symbol.position);
        }
        for (const IndicatorDocument& indicator : group.indicators.value) {
            add_required_events(indicator.source, symbol, derived);
            ZELK_TRY(definitions, read_indicator(indicator, symbol));
            for (ReadDefinition& d : definitions) read.push_back(std::move(d));
        }
    }

    ZELK_TRY(declared, read_required_events(doc));
    if (declared != derived) {
        return fail("required_events does not match feature extractor inputs",
                    doc.required_events.position);
    }
    const uint64_t length = doc.length.value;
    if (length != read.size()) {
        return fail(fmt::format("length {} does not match expanded definition count {}", length,
                                read.size()),
                    doc.length.position);
    }
    const uint64_t capacity = doc.capacity.value;
    if (capacity < length) {
        return fail(fmt::format("capacity {} is smaller than length {}", capacity, length),
                    doc.capacity.position);
    }
    ZELK_TRY(books, read_order_books(doc));

    std::vector<FeatureDefinition> definitions;
    definitions.reserve(read.size());
    for (const ReadDefinition& d : read) definitions.push_back(d.definition);
    std::optional<std::string> checksum;
    if (doc.checksum) checksum = doc.checksum->value;
    auto spec = FeatureExtractorSpec::with_metadata(std::move(definitions), capacity, checksum);
    if (!spec) {
        // A reserved ID is reported at its output; anything else at the list.
        Position at = doc.features.position;
        if (const auto* arg = spec.error().get_if<err::InvalidArgument>()) {
            if (const auto* r = std::get_if<arg::ReservedFeatureId>(&arg->error.reason)) {
                if (r->definition_index < read.size()) at = read[r->definition_index].position;
            }
        }
        return fail(to_string(spec.error()), at);
    }
    auto with_books = std::move(*spec).with_order_books(std::move(books));
    if (!with_books) {
        // Only a document with books can fail here; the list is the position.
        const Position at = doc.order_books ? doc.order_books->position : doc.features.position;
        return fail(to_string(with_books.error()), at);
    }
    return std::move(*with_books);
}

// ---- Writing ---------------------------------------------------------------

std::unexpected<ArtifactError> refuse(std::string message) {
    return std::unexpected(ArtifactError{std::move(message)});
}

Located<std::string> text(std::string_view s) {
    return {std::string(s), {}};
}

SourceDocument source_document(const FeatureKey& key) {
    SourceDocument s;
    const auto field_source = [&](ScalarField f) {
        s.type = text("field");
        s.event = text(event_name(event_kind_of(f)));
        s.field = text(field_member_text(f));
    };
    if (key.kind == FeatureKind::Context) {
        s.type = text("context");
    } else if (is_order_book_kind(key.kind)) {
        s.type = text("order_book");
    } else if (key.kind == FeatureKind::Field) {
        field_source(key.field);
    } else {
        switch (key.source.type) {
            case FeatureSource::Type::Field:
                field_source(key.source.field);
                break;
            case FeatureSource::Type::Event:
                s.type = text("event");
                s.event = text(event_name(key.source.event));
                break;
            case FeatureSource::Type::AnyEvent:
                s.type = text("any_event");
                break;
        }
    }
    return s;
}

ArtifactResult<std::optional<OptionsDocument>> options_document(const FeatureKey& key) {
    OptionsDocument o;
    if (key.kind == FeatureKind::Context) {
        o.name = text(key.name);
    } else if (is_timed_kind(key.kind)) {
        ZELK_TRY(aggregation, format_duration(key.aggregation));
        o.aggregation = text(aggregation);
    } else if (key.kind == FeatureKind::TimeSinceFirstEventOfDay) {
        o.utc_offset = text(format_utc_offset(key.utc_offset_ms));
    } else if (const QueryParameters q = query_parameters(key.kind); q.any()) {
        o.side = text(external_name(key.side));
        if (q.price) o.price = text(key.price.to_normalized_string());
        if (q.size) o.size = text(key.size.to_normalized_string());
        if (q.range) {
            o.from_price = text(key.price.to_normalized_string());
            o.to_price = text(key.price_to.to_normalized_string());
        }
        if (q.n_levels) o.n_levels = Located<uint64_t>{key.n_levels, {}};
    } else {
        return std::optional<OptionsDocument>{};
    }
    return std::optional<OptionsDocument>{std::move(o)};
}

ArtifactResult<OutputDocument> output_document(const FeatureDefinition& definition) {
    const FeatureKey& key = definition.key;
    OutputDocument o;
    switch (output_shape(key.kind)) {
        case OutputShape::Scalar:
            break;
        case OutputShape::SampleWindow:
            o.window = Located<WindowValue>{key.window, {}};
            break;
        case OutputShape::Lag:
            o.lag = Located<uint64_t>{key.window, {}};
            break;
        case OutputShape::TimeWindow:
        case OutputShape::SingleTimeWindow: {
            ZELK_TRY(window, format_duration(key.window_duration));
            o.window = Located<WindowValue>{std::move(window), {}};
            break;
        }
        case OutputShape::Depth:
            o.n_levels = Located<uint64_t>{key.n_levels, {}};
            break;
    }
    if (definition.id != feature_id_from_key(key)) o.id = text(definition.id);
    return o;
}

ArtifactResult<IndicatorDocument> indicator_document(const FeatureKey& key) {
    IndicatorDocument ind;
    ind.kind = text(kind_text(key));
    ind.source = source_document(key);
    if (requires_warmup(key.kind)) ind.warmup_policy = Located<WarmupPolicy>{key.warmup, {}};
    ZELK_TRY(options, options_document(key));
    ind.options = std::move(options);
    ind.outputs = Located<std::vector<OutputDocument>>{{}, {}};
    return ind;
}

// Builds the (symbol name, event name) pairs the definitions consume.
void collect_required_events(const FeatureKey& key,
                             std::set<std::pair<std::string, std::string_view>>& events) {
    const std::string name = resolve_as_string(key.symbol);
    const auto add = [&](Symbol symbol, EventKind event) {
        events.insert({symbol == key.symbol ? name : resolve_as_string(symbol), event_name(event)});
    };
    if (key.kind == FeatureKind::Context) return;
    if (is_order_book_kind(key.kind)) {
        add(key.symbol, EventKind::OrderBookDelta);
        add(key.symbol, EventKind::OrderBookSnapshot);
    } else if (key.kind == FeatureKind::Field) {
        add(key.symbol, event_kind_of(key.field));
    } else {
        switch (key.source.type) {
            case FeatureSource::Type::Field:
                add(key.symbol, event_kind_of(key.source.field));
                break;
            case FeatureSource::Type::Event:
                add(key.symbol, key.source.event);
                break;
            case FeatureSource::Type::AnyEvent:
                add(Symbol::global(), EventKind::Time);
                break;
        }
    }
}

ArtifactResult<FeatureExtractorDocument> write_document(const FeatureExtractorSpec& spec) {
    FeatureExtractorDocument doc;
    doc.version = text(FEATURE_EXTRACTOR_SPEC_VERSION);
    doc.capacity = {spec.capacity(), {}};
    doc.length = {spec.definitions().size(), {}};
    if (spec.checksum()) doc.checksum = text(*spec.checksum());

    std::set<std::pair<std::string, std::string_view>> events;
    std::map<Symbol, size_t> group_of_symbol;
    // Per feature group: the indicator index of each group key.
    std::vector<std::unordered_map<GroupKey, size_t, GroupKeyHash>> indicator_of_group;
    const auto& definitions = spec.definitions();
    for (size_t i = 0; i < definitions.size(); ++i) {
        const FeatureDefinition& definition = definitions[i];
        const FeatureKey& key = definition.key;
        auto grouped = group_key(i, key);
        if (!grouped) return refuse(to_string(grouped.error()));
        if (is_order_book_kind(key.kind) && key.symbol.is_global()) {
            return refuse(fmt::format("{} requires a symbol-specific scope", kind_text(key)));
        }
        collect_required_events(key, events);

        auto [symbol_it, new_symbol] =
            group_of_symbol.try_emplace(key.symbol, doc.features.value.size());
        if (new_symbol) {
            doc.features.value.push_back(
                FeatureGroupDocument{text(resolve_as_string(key.symbol)), {}, {}});
            indicator_of_group.emplace_back();
        }
        FeatureGroupDocument& group = doc.features.value[symbol_it->second];
        auto& indicators = indicator_of_group[symbol_it->second];
        auto [it, new_indicator] =
            indicators.try_emplace(grouped->group, group.indicators.value.size());
        if (new_indicator) {
            ZELK_TRY(indicator, indicator_document(key));
            group.indicators.value.push_back(std::move(indicator));
        } else if (group_members_of(key.kind) == GroupMembers::Scalar) {
            return refuse(
                fmt::format("indicator {} has more than one scalar output", kind_text(key)));
        }
        ZELK_TRY(output, output_document(definition));
        group.indicators.value[it->second].outputs->value.push_back(std::move(output));
    }
    for (const auto& [symbol, event] : events) {
        doc.required_events.value.push_back(RequiredEventDocument{text(symbol), text(event), {}});
    }
    if (!spec.order_books().empty()) {
        doc.order_books.emplace();
        for (const OrderBookEntry& entry : spec.order_books()) {
            OrderBookDocument b;
            b.symbol = text(resolve_as_string(entry.symbol));
            b.update_policy = {entry.config.update_policy, {}};
            b.buffer_size = {entry.config.buffer_size, {}};
            if (const auto& grid = entry.config.dense) {
                b.dense = DenseDocument{text(grid->tick_size.to_normalized_string()),
                                        text(grid->min_price.to_normalized_string()),
                                        text(grid->max_price.to_normalized_string()),
                                        {}};
            }
            doc.order_books->value.push_back(std::move(b));
        }
    }
    return doc;
}

}  // namespace

ArtifactResult<std::string> to_json(const FeatureExtractorSpec& spec) {
    ZELK_TRY(doc, write_document(spec));
    auto written = json::write_pretty(to_value(doc));
    if (!written) return refuse(written.error());
    return std::move(*written);
}

ArtifactResult<FeatureExtractorSpec> from_json(std::string_view text) {
    auto tree = json::parse(text);
    if (!tree) return std::unexpected(located(tree.error()));
    auto doc = read_document(*tree);
    if (!doc) return std::unexpected(located(doc.error()));
    return read_spec(*doc);
}

}  // namespace zelk
