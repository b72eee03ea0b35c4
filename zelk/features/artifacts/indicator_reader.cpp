#include "zelk/features/artifacts/indicator_reader.hpp"

#include <fmt/format.h>

#include "zelk/features/artifacts/early_return.hpp"
#include "zelk/features/artifacts/feature_kind_text.hpp"
#include "zelk/features/artifacts/kind_rules.hpp"
#include "zelk/features/artifacts/serialization.hpp"
#include "zelk/features/group_key.hpp"
#include "zelk/symbols.hpp"

namespace zelk::artifact {

namespace {

using artifact::fail;

// A helper's position-free error, placed at `position`.
std::unexpected<ArtifactError> fail(const ArtifactError& error, Position position) {
    return fail(error.message, position);
}

// At most this many depths share one imbalance query.
constexpr size_t MAX_IMBALANCE_OUTPUTS = 16;

enum class SourceType : uint8_t { Field, Event, AnyEvent, Context, OrderBook };

std::optional<SourceType> parse_source_type(std::string_view text) {
    if (text == "field") return SourceType::Field;
    if (text == "event") return SourceType::Event;
    if (text == "any_event") return SourceType::AnyEvent;
    if (text == "context") return SourceType::Context;
    if (text == "order_book") return SourceType::OrderBook;
    return std::nullopt;
}

struct ReadSource {
    SourceType type;
    FeatureSource source;  // for Field, Event and AnyEvent
};

// The source object on its own, before it is matched against the kind.
ArtifactResult<ReadSource> read_source(const SourceDocument& doc, Symbol symbol) {
    const auto type = parse_source_type(doc.type.value);
    if (!type) {
        return fail(fmt::format("unknown source type {}", quoted(doc.type.value)),
                    doc.type.position);
    }
    switch (*type) {
        case SourceType::AnyEvent:
            if (doc.event || doc.field) {
                return fail("any_event source does not allow event or field", doc.position);
            }
            return ReadSource{*type, FeatureSource::any_event()};
        case SourceType::Event: {
            if (!doc.event) return fail("event source requires event", doc.position);
            if (doc.field) return fail("event source does not allow field", doc.field->position);
            auto event = parse_event_name(doc.event->value);
            if (!event) return fail(event.error(), doc.event->position);
            return ReadSource{*type, FeatureSource::of_event(*event)};
        }
        case SourceType::Field: {
            if (!doc.event) return fail("field source requires event", doc.position);
            if (!doc.field) return fail("field source requires field", doc.position);
            const auto event = parse_event_name(doc.event->value);
            const auto field =
                event ? field_of_pair(*event, doc.field->value) : std::optional<ScalarField>{};
            if (!field) {
                return fail(fmt::format("invalid field source event/field pair {}/{}",
                                        json::printable(doc.event->value),
                                        json::printable(doc.field->value)),
                            doc.position);
            }
            return ReadSource{*type, FeatureSource::of_field(*field)};
        }
        case SourceType::OrderBook:
            if (doc.event || doc.field || symbol.is_global()) {
                return fail(
                    "order_book source requires a symbol-specific scope and no event or field",
                    doc.position);
            }
            return ReadSource{*type, {}};
        case SourceType::Context:
            return ReadSource{*type, {}};
    }
    return fail("unknown source type", doc.type.position);
}

// Whether a kind other than Context, Field and the book kinds accepts this
// source on this symbol (the kind table's scope and source columns).
bool source_fits(FeatureKind kind, const ReadSource& s, Symbol symbol) {
    const bool named = !symbol.is_global();
    const auto is = [&](SourceType t) { return s.type == t; };
    switch (kind) {
        case FeatureKind::Cvd:
        case FeatureKind::ObvTimed:
        case FeatureKind::TradeVolumeTimed:
        case FeatureKind::VwapTimed:
        case FeatureKind::TradeCountTimed:
        case FeatureKind::Vpt:
            return named && is(SourceType::Event) &&
                   s.source == FeatureSource::of_event(EventKind::Trade);
        case FeatureKind::Returns:
        case FeatureKind::Volatility:
        case FeatureKind::SmaTimed:
        case FeatureKind::VolatilityTimed:
            return named && is(SourceType::Field);
        case FeatureKind::DayOfWeek:
        case FeatureKind::TimeSinceFirstEventOfDay:
            return !named && is(SourceType::AnyEvent);
        default:
            return false;
    }
}

bool has_query_parameter(const OptionsDocument& o) {
    return o.side || o.price || o.size || o.from_price || o.to_price || o.n_levels;
}

// Everything the options contribute to the keys.
struct ReadOptions {
    std::string name;
    Side side = Side::Bid;
    ExactDecimal price;
    ExactDecimal price_to;
    ExactDecimal size;
    uint64_t n_levels = 0;
    Duration aggregation;
    int64_t utc_offset_ms = 0;
};

ArtifactResult<ExactDecimal> required_decimal(const OptionalText& text, std::string_view field,
                                              Position options_at) {
    if (!text) return fail(missing_book_parameter(field), options_at);
    auto value = parse_book_decimal(field, text->value);
    if (!value) return fail(value.error(), text->position);
    return *value;
}

ArtifactResult<ReadOptions> read_book_query(std::string_view kind_name, FeatureKind kind,
                                            const OptionsDocument* options, Position at) {
    ReadOptions out;
    const QueryParameters wanted = query_parameters(kind);
    const OptionsDocument none{.position = at};
    const OptionsDocument& o = options != nullptr ? *options : none;
    if (o.name) return fail("only context allows options.name", o.name->position);
    if (o.aggregation || o.utc_offset) {
        return fail(fmt::format("{} has unexpected options", kind_name), o.position);
    }
    const bool unexpected = (o.price && !wanted.price) || (o.size && !wanted.size) ||
                            ((o.from_price || o.to_price) && !wanted.range) ||
                            (o.n_levels && !wanted.n_levels);
    if (unexpected) return fail("query key has unexpected options", o.position);
    auto side =
        parse_book_side(o.side ? std::optional<std::string_view>(o.side->value) : std::nullopt);
    if (!side) return fail(side.error(), o.side ? o.side->position : o.position);
    out.side = *side;
    if (wanted.price) {
        ZELK_TRY(price, required_decimal(o.price, "price", o.position));
        out.price = price;
    }
    if (wanted.size) {
        ZELK_TRY(size, required_decimal(o.size, "size", o.position));
        out.size = size;
    }
    if (wanted.range) {
        ZELK_TRY(from, required_decimal(o.from_price, "from_price", o.position));
        ZELK_TRY(to, required_decimal(o.to_price, "to_price", o.position));
        out.price = from;
        out.price_to = to;
    }
    if (wanted.n_levels) {
        if (!o.n_levels) return fail(fmt::format("{} requires n_levels", kind_name), o.position);
        out.n_levels = o.n_levels->value;
    }
    return out;
}

ArtifactResult<ReadOptions> read_options(std::string_view kind_name, FeatureKind kind,
                                         const IndicatorDocument& doc) {
    const OptionsDocument* o = doc.options ? &*doc.options : nullptr;
    ReadOptions out;
    if (kind == FeatureKind::Context) {
        if (o == nullptr || !o->name) {
            return fail("context requires options.name", o ? o->position : doc.position);
        }
        if (has_query_parameter(*o) || o->aggregation || o->utc_offset) {
            return fail("context has unexpected options", o->position);
        }
        out.name = o->name->value;
        return out;
    }
    if (is_timed_kind(kind)) {
        if (o == nullptr) {
            return fail(fmt::format("{} options require aggregation", kind_name), doc.position);
        }
        if (o->name) return fail("only context allows options.name", o->name->position);
        if (has_query_parameter(*o)) {
            return fail(fmt::format("{} does not allow order-book query parameters", kind_name),
                        o->position);
        }
        if (o->utc_offset) {
            return fail(fmt::format("{} options do not allow utc_offset", kind_name),
                        o->utc_offset->position);
        }
        if (!o->aggregation) {
            return fail(fmt::format("{} options require aggregation", kind_name), o->position);
        }
        auto aggregation = parse_duration(o->aggregation->value);
        if (!aggregation) return fail(aggregation.error(), o->aggregation->position);
        out.aggregation = *aggregation;
        return out;
    }
    if (kind == FeatureKind::TimeSinceFirstEventOfDay) {
        if (o == nullptr) {
            return fail("time_since_first_event_of_day options require utc_offset", doc.position);
        }
        if (o->name) return fail("only context allows options.name", o->name->position);
        if (has_query_parameter(*o)) {
            return fail(fmt::format("{} does not allow order-book query parameters", kind_name),
                        o->position);
        }
        if (o->aggregation) {
            return fail("time_since_first_event_of_day options do not allow aggregation",
                        o->aggregation->position);
        }
        if (!o->utc_offset) {
            return fail("time_since_first_event_of_day options require utc_offset", o->position);
        }
        auto offset = parse_utc_offset(o->utc_offset->value);
        if (!offset) return fail(offset.error(), o->utc_offset->position);
        out.utc_offset_ms = *offset;
        return out;
    }
    if (is_order_book_kind(kind) && query_parameters(kind).any()) {
        return read_book_query(kind_name, kind, o, doc.position);
    }
    // Every other kind takes no options at all; even an empty object is refused.
    if (o != nullptr) return fail(fmt::format("{} does not allow options", kind_name), o->position);
    return out;
}

// The member parameter one output contributes.
struct ReadMember {
    uint64_t count = 0;  // sample window, lag or depth
    Duration window;     // time window
};

ArtifactResult<ReadMember> read_output(std::string_view kind_name, OutputShape shape,
                                       const OutputDocument& o) {
    ReadMember m;
    const uint64_t* integer_window = o.window ? std::get_if<uint64_t>(&o.window->value) : nullptr;
    const std::string* text_window =
        o.window ? std::get_if<std::string>(&o.window->value) : nullptr;
    const auto refuse = [&](std::string_view what) {
        return fail(fmt::format("{} output {}", kind_name, what), o.position);
    };
    switch (shape) {
        case OutputShape::Scalar:
            if (o.window || o.lag || o.n_levels)
                return refuse("does not allow window, lag, or n_levels");
            return m;
        case OutputShape::SampleWindow:
            if (o.lag) return refuse("does not allow lag");
            if (o.n_levels) return refuse("does not allow n_levels");
            if (integer_window == nullptr) return refuse("requires an integer window");
            m.count = *integer_window;
            return m;
        case OutputShape::Lag:
            if (o.window) return refuse("does not allow window");
            if (o.n_levels) return refuse("does not allow n_levels");
            if (!o.lag) return refuse("requires an integer lag");
            m.count = o.lag->value;
            return m;
        case OutputShape::TimeWindow:
        case OutputShape::SingleTimeWindow: {
            if (o.lag) return refuse("does not allow lag");
            if (o.n_levels) return refuse("does not allow n_levels");
            if (text_window == nullptr) return refuse("requires a duration window");
            auto window = parse_duration(*text_window);
            if (!window) return fail(window.error(), o.window->position);
            m.window = *window;
            return m;
        }
        case OutputShape::Depth:
            if (o.window || o.lag) {
                return fail("order_book_imbalance output does not allow window or lag", o.position);
            }
            if (!o.n_levels || o.n_levels->value == 0) {
                return fail("order_book_imbalance requires positive n_levels", o.position);
            }
            m.count = o.n_levels->value;
            return m;
    }
    return m;
}

FeatureKey make_key(KindText kind, Symbol symbol, const ReadSource& source,
                    std::optional<WarmupPolicy> warmup, const ReadOptions& o, const ReadMember& m) {
    const WarmupPolicy w = warmup.value_or(WarmupPolicy::FirstValue);
    switch (kind.kind) {
        case FeatureKind::Context:
            return FeatureKey::context(symbol, o.name);
        case FeatureKind::OrderBookLevelSize:
        case FeatureKind::OrderBookDepthUntilPrice:
            return FeatureKey::book_price_query(kind.kind, symbol, o.side, o.price);
        case FeatureKind::OrderBookNthPrice:
        case FeatureKind::OrderBookNthSize:
            return FeatureKey::book_nth(kind.kind, symbol, o.side, o.n_levels);
        case FeatureKind::OrderBookDepthUntilSizePriceFrom:
        case FeatureKind::OrderBookDepthUntilSizePriceTo:
        case FeatureKind::OrderBookDepthUntilSizeTotalSize:
            return FeatureKey::book_size_query(kind.kind, symbol, o.side, o.size);
        case FeatureKind::OrderBookVolumeBetweenPrices:
            return FeatureKey::book_volume_between(symbol, o.side, o.price, o.price_to);
        case FeatureKind::OrderBookImbalance:
            return FeatureKey::book_imbalance(symbol, m.count);
        case FeatureKind::Field:
            return FeatureKey::field_of(symbol, source.source.field);
        case FeatureKind::Cvd:
            return FeatureKey::cvd(symbol, source.source, m.count, w);
        case FeatureKind::Returns:
            return FeatureKey::returns(symbol, source.source, m.count, kind.log);
        case FeatureKind::Volatility:
            return FeatureKey::volatility(symbol, source.source, m.count, w);
        case FeatureKind::Vpt:
            return FeatureKey::vpt(symbol, source.source);
        case FeatureKind::DayOfWeek:
            return FeatureKey::day_of_week(symbol, source.source);
        case FeatureKind::TimeSinceFirstEventOfDay:
            return FeatureKey::time_since_first_event_of_day(symbol, source.source,
                                                             o.utc_offset_ms);
        default:
            if (is_timed_kind(kind.kind)) {
                return FeatureKey::timed(kind.kind, symbol, source.source, o.aggregation, m.window,
                                         w);
            }
            return FeatureKey::book_scalar(kind.kind, symbol);
    }
}

}  // namespace

void add_required_events(const SourceDocument& source, Symbol symbol, RequiredEventSet& events) {
    const auto type = parse_source_type(source.type.value);
    if (type == SourceType::AnyEvent) {
        events.insert({Symbol::global(), EventKind::Time});
    } else if (type == SourceType::OrderBook) {
        events.insert({symbol, EventKind::OrderBookDelta});
        events.insert({symbol, EventKind::OrderBookSnapshot});
    } else if (type && type != SourceType::Context && source.event) {
        if (auto event = parse_event_name(source.event->value)) events.insert({symbol, *event});
    }
}

ArtifactResult<std::vector<ReadDefinition>> read_indicator(const IndicatorDocument& doc,
                                                           Symbol symbol) {
    const std::string& kind_name = doc.kind.value;
    const auto kind = parse_kind_text(kind_name);
    if (!kind) {
        if (kind_name == "sma" || kind_name == "ema") {
            return fail(
                "sample averages moved to transformers; use field extraction plus an "
                "sma/ema pipeline transformation",
                doc.kind.position);
        }
        return fail(fmt::format("unknown indicator kind {}", quoted(kind_name)), doc.kind.position);
    }
    const FeatureKind k = kind->kind;

    // Source and scope. Context, Field and the book kinds have their own
    // messages for a wrong source type; the rest share the table check.
    const SourceDocument& src = doc.source;
    if (k == FeatureKind::Context && (src.type.value != "context" || src.event || src.field)) {
        return fail("context requires a context source without event or field", src.position);
    }
    if (k == FeatureKind::Field && src.type.value != "field") {
        return fail("field requires a scalar field source", src.position);
    }
    if (is_order_book_kind(k) && src.type.value != "order_book") {
        return fail(fmt::format("invalid indicator kind {} for order_book source", kind_name),
                    src.position);
    }
    ZELK_TRY(source, read_source(src, symbol));
    const bool fits = k == FeatureKind::Context || is_order_book_kind(k) ||
                      (k == FeatureKind::Field && !symbol.is_global()) ||
                      source_fits(k, source, symbol);
    if (!fits) {
        return fail(
            fmt::format("invalid symbol scope or source for indicator kind {}", quoted(kind_name)),
            src.position);
    }

    if (requires_warmup(k) && !doc.warmup_policy) {
        return fail(fmt::format("{} requires warmup_policy", kind_name), doc.position);
    }
    if (!requires_warmup(k) && doc.warmup_policy) {
        return fail(fmt::format("{} does not allow warmup_policy", kind_name),
                    doc.warmup_policy->position);
    }
    const std::optional<WarmupPolicy> warmup =
        doc.warmup_policy ? std::optional(doc.warmup_policy->value) : std::nullopt;

    ZELK_TRY(options, read_options(kind_name, k, doc));

    // An absent output list stands for one output without fields.
    const OutputDocument implicit{.position = doc.position};
    std::vector<const OutputDocument*> outputs;
    if (!doc.outputs) {
        outputs.push_back(&implicit);
    } else {
        if (doc.outputs->value.empty()) {
            return fail(fmt::format("{} outputs must not be empty", kind_name),
                        doc.outputs->position);
        }
        for (const OutputDocument& o : doc.outputs->value) outputs.push_back(&o);
    }
    const OutputShape shape = output_shape(k);
    const Position list_at = doc.outputs ? doc.outputs->position : doc.position;
    if ((shape == OutputShape::Scalar || shape == OutputShape::SingleTimeWindow) &&
        outputs.size() > 1) {
        return fail(fmt::format("{} requires exactly one output", kind_name), list_at);
    }
    if (shape == OutputShape::Depth && outputs.size() > MAX_IMBALANCE_OUTPUTS) {
        return fail("order_book_imbalance exceeds 16 outputs", list_at);
    }

    std::vector<ReadDefinition> definitions;
    definitions.reserve(outputs.size());
    for (const OutputDocument* o : outputs) {
        ZELK_TRY(member, read_output(kind_name, shape, *o));
        FeatureKey key = make_key(*kind, symbol, source, warmup, options, member);
        if (auto valid = validate_key(key); !valid) {
            return fail(to_string(valid.error()), o->position);
        }
        FeatureId id = o->id ? o->id->value : feature_id_from_key(key);
        definitions.push_back(
            ReadDefinition{FeatureDefinition{std::move(id), std::move(key)}, o->position});
    }
    return definitions;
}

}  // namespace zelk::artifact
