#include "zelk/features/artifacts/feature_extractor_document.hpp"

#include "zelk/features/artifacts/early_return.hpp"

namespace zelk::artifact {

namespace {

using json::Read;
using json::StrictObject;
using json::Value;

constexpr std::string_view WARMUP_POLICIES[] = {"first_value", "full_window"};
constexpr std::string_view UPDATE_POLICIES[] = {"monotonic", "contiguous"};

// Reads every element of the array member `name` with `read_one`.
template <typename T, typename F>
Read<Located<std::vector<T>>> read_list(const Value& array, std::string_view name, F read_one) {
    ZELK_TRY(items, json::read_array(array, name));
    std::vector<T> out;
    out.reserve(items.size());
    for (const Value& item : items) {
        ZELK_TRY(one, read_one(item));
        out.push_back(std::move(one));
    }
    return Located<std::vector<T>>{std::move(out), array.position};
}

Read<SourceDocument> read_source(const Value& v) {
    ZELK_TRY(obj, StrictObject::open(v, "source", {"type", "event", "field"}));
    ZELK_TRY(type, obj.string("type"));
    ZELK_TRY(event, obj.optional_string("event"));
    ZELK_TRY(field, obj.optional_string("field"));
    return SourceDocument{std::move(type), std::move(event), std::move(field), v.position};
}

Read<OptionsDocument> read_options(const Value& v) {
    ZELK_TRY(obj, StrictObject::open(v, "options",
                                     {"name", "side", "price", "size", "from_price", "to_price",
                                      "n_levels", "aggregation", "utc_offset"}));
    OptionsDocument o;
    o.position = v.position;
    const std::pair<std::string_view, OptionalText*> texts[] = {
        {"name", &o.name},
        {"side", &o.side},
        {"price", &o.price},
        {"size", &o.size},
        {"from_price", &o.from_price},
        {"to_price", &o.to_price},
    };
    for (const auto& [name, slot] : texts) {
        ZELK_TRY(text, obj.optional_string(name));
        *slot = std::move(text);
    }
    ZELK_TRY(n_levels, obj.optional_u64("n_levels"));
    o.n_levels = n_levels;
    ZELK_TRY(aggregation, obj.optional_string("aggregation"));
    o.aggregation = std::move(aggregation);
    ZELK_TRY(utc_offset, obj.optional_string("utc_offset"));
    o.utc_offset = std::move(utc_offset);
    return o;
}

Read<OutputDocument> read_output(const Value& v) {
    ZELK_TRY(obj, StrictObject::open(v, "outputs", {"n_levels", "lag", "window", "id"}));
    OutputDocument o;
    o.position = v.position;
    ZELK_TRY(n_levels, obj.optional_u64("n_levels"));
    o.n_levels = n_levels;
    ZELK_TRY(lag, obj.optional_u64("lag"));
    o.lag = lag;
    if (const Value* w = obj.find("window")) {
        if (w->type == json::Type::String) {
            o.window = Located<WindowValue>{w->text, w->position};
        } else if (w->type == json::Type::Number) {
            ZELK_TRY(n, json::read_u64(*w, "window"));
            o.window = Located<WindowValue>{n.value, w->position};
        } else {
            return std::unexpected(
                json::invalid_type(*w, "window", "an unsigned integer or a duration string"));
        }
    }
    ZELK_TRY(id, obj.optional_string("id"));
    o.id = std::move(id);
    return o;
}

Read<IndicatorDocument> read_indicator(const Value& v) {
    ZELK_TRY(obj, StrictObject::open(v, "indicators",
                                     {"kind", "source", "warmup_policy", "options", "outputs"}));
    IndicatorDocument ind;
    ind.position = v.position;
    ZELK_TRY(kind, obj.string("kind"));
    ind.kind = std::move(kind);
    ZELK_TRY(source_value, obj.require("source"));
    ZELK_TRY(source, read_source(*source_value));
    ind.source = std::move(source);
    if (const Value* w = obj.find("warmup_policy")) {
        ZELK_TRY(policy, json::read_variant(*w, "warmup_policy", WARMUP_POLICIES));
        ind.warmup_policy =
            Located<WarmupPolicy>{static_cast<WarmupPolicy>(policy.value), policy.position};
    }
    if (const Value* o = obj.find("options")) {
        ZELK_TRY(options, read_options(*o));
        ind.options = std::move(options);
    }
    if (const Value* o = obj.find("outputs")) {
        ZELK_TRY(outputs, read_list<OutputDocument>(*o, "outputs", read_output));
        ind.outputs = std::move(outputs);
    }
    return ind;
}

Read<FeatureGroupDocument> read_group(const Value& v) {
    ZELK_TRY(obj, StrictObject::open(v, "features", {"symbol", "indicators"}));
    ZELK_TRY(symbol, obj.string("symbol"));
    ZELK_TRY(list, obj.require("indicators"));
    ZELK_TRY(indicators, read_list<IndicatorDocument>(*list, "indicators", read_indicator));
    return FeatureGroupDocument{std::move(symbol), std::move(indicators), v.position};
}

Read<RequiredEventDocument> read_required_event(const Value& v) {
    ZELK_TRY(obj, StrictObject::open(v, "required_events", {"symbol", "event"}));
    ZELK_TRY(symbol, obj.string("symbol"));
    ZELK_TRY(event, obj.string("event"));
    return RequiredEventDocument{std::move(symbol), std::move(event), v.position};
}

Read<DenseDocument> read_dense(const Value& v) {
    ZELK_TRY(obj, StrictObject::open(v, "dense", {"tick_size", "min_price", "max_price"}));
    ZELK_TRY(tick, obj.optional_string("tick_size"));
    ZELK_TRY(min, obj.optional_string("min_price"));
    ZELK_TRY(max, obj.optional_string("max_price"));
    return DenseDocument{std::move(tick), std::move(min), std::move(max), v.position};
}

Read<OrderBookDocument> read_order_book(const Value& v) {
    ZELK_TRY(obj, StrictObject::open(v, "order_books",
                                     {"symbol", "update_policy", "buffer_size", "dense"}));
    ZELK_TRY(symbol, obj.string("symbol"));
    ZELK_TRY(policy_value, obj.require("update_policy"));
    ZELK_TRY(policy, json::read_variant(*policy_value, "update_policy", UPDATE_POLICIES));
    ZELK_TRY(buffer_size, obj.u64("buffer_size"));
    std::optional<DenseDocument> dense;
    if (const Value* d = obj.find("dense")) {
        ZELK_TRY(grid, read_dense(*d));
        dense = std::move(grid);
    }
    return OrderBookDocument{
        std::move(symbol),
        Located<UpdatePolicy>{static_cast<UpdatePolicy>(policy.value), policy.position},
        buffer_size, std::move(dense), v.position};
}

Value text_value(const std::string& s) {
    return Value::from_string(s);
}

void add_optional(Value& obj, std::string_view name, const OptionalText& text) {
    if (text) obj.add(std::string(name), text_value(text->value));
}
void add_optional(Value& obj, std::string_view name, const OptionalCount& count) {
    if (count) obj.add(std::string(name), Value::from_u64(count->value));
}

Value source_value(const SourceDocument& s) {
    Value v = Value::object();
    v.add("type", text_value(s.type.value));
    add_optional(v, "event", s.event);
    add_optional(v, "field", s.field);
    return v;
}

Value options_value(const OptionsDocument& o) {
    Value v = Value::object();
    add_optional(v, "name", o.name);
    add_optional(v, "side", o.side);
    add_optional(v, "price", o.price);
    add_optional(v, "size", o.size);
    add_optional(v, "from_price", o.from_price);
    add_optional(v, "to_price", o.to_price);
    add_optional(v, "n_levels", o.n_levels);
    add_optional(v, "aggregation", o.aggregation);
    add_optional(v, "utc_offset", o.utc_offset);
    return v;
}

Value output_value(const OutputDocument& o) {
    Value v = Value::object();
    add_optional(v, "n_levels", o.n_levels);
    add_optional(v, "lag", o.lag);
    if (o.window) {
        if (const auto* n = std::get_if<uint64_t>(&o.window->value)) {
            v.add("window", Value::from_u64(*n));
        } else {
            v.add("window", text_value(std::get<std::string>(o.window->value)));
        }
    }
    add_optional(v, "id", o.id);
    return v;
}

Value indicator_value(const IndicatorDocument& ind) {
    Value v = Value::object();
    v.add("kind", text_value(ind.kind.value));
    v.add("source", source_value(ind.source));
    if (ind.warmup_policy) {
        v.add("warmup_policy",
              Value::from_string(std::string(to_string(ind.warmup_policy->value))));
    }
    if (ind.options) v.add("options", options_value(*ind.options));
    if (ind.outputs) {
        Value& list = v.add("outputs", Value::array());
        for (const OutputDocument& o : ind.outputs->value) list.push(output_value(o));
    }
    return v;
}

Value order_book_value(const OrderBookDocument& b) {
    Value v = Value::object();
    v.add("symbol", text_value(b.symbol.value));
    v.add("update_policy", Value::from_string(std::string(to_string(b.update_policy.value))));
    v.add("buffer_size", Value::from_u64(b.buffer_size.value));
    if (b.dense) {
        Value& d = v.add("dense", Value::object());
        add_optional(d, "tick_size", b.dense->tick_size);
        add_optional(d, "min_price", b.dense->min_price);
        add_optional(d, "max_price", b.dense->max_price);
    }
    return v;
}

}  // namespace

Read<FeatureExtractorDocument> read_document(const Value& root) {
    ZELK_TRY(obj, StrictObject::open(root, "document",
                                     {"version", "capacity", "length", "required_events",
                                      "checksum", "features", "order_books"}));
    FeatureExtractorDocument doc;
    ZELK_TRY(version, obj.string("version"));
    doc.version = std::move(version);
    ZELK_TRY(capacity, obj.u64("capacity"));
    doc.capacity = capacity;
    ZELK_TRY(length, obj.u64("length"));
    doc.length = length;
    ZELK_TRY(events_value, obj.require("required_events"));
    ZELK_TRY(events, read_list<RequiredEventDocument>(*events_value, "required_events",
                                                      read_required_event));
    doc.required_events = std::move(events);
    ZELK_TRY(checksum, obj.optional_string("checksum"));
    doc.checksum = std::move(checksum);
    ZELK_TRY(features_value, obj.require("features"));
    ZELK_TRY(features, read_list<FeatureGroupDocument>(*features_value, "features", read_group));
    doc.features = std::move(features);
    if (const Value* books = obj.find("order_books")) {
        ZELK_TRY(list, read_list<OrderBookDocument>(*books, "order_books", read_order_book));
        doc.order_books = std::move(list);
    }
    return doc;
}

Value to_value(const FeatureExtractorDocument& doc) {
    Value v = Value::object();
    v.add("version", text_value(doc.version.value));
    v.add("capacity", Value::from_u64(doc.capacity.value));
    v.add("length", Value::from_u64(doc.length.value));
    Value& events = v.add("required_events", Value::array());
    for (const RequiredEventDocument& e : doc.required_events.value) {
        Value& item = events.push(Value::object());
        item.add("symbol", text_value(e.symbol.value));
        item.add("event", text_value(e.event.value));
    }
    add_optional(v, "checksum", doc.checksum);
    Value& features = v.add("features", Value::array());
    for (const FeatureGroupDocument& g : doc.features.value) {
        Value& group = features.push(Value::object());
        group.add("symbol", text_value(g.symbol.value));
        Value& indicators = group.add("indicators", Value::array());
        for (const IndicatorDocument& ind : g.indicators.value)
            indicators.push(indicator_value(ind));
    }
    if (doc.order_books) {
        Value& books = v.add("order_books", Value::array());
        for (const OrderBookDocument& b : doc.order_books->value) books.push(order_book_value(b));
    }
    return v;
}

}  // namespace zelk::artifact
