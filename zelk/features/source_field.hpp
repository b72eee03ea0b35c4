// The four scalar event fields a feature can read, and how to read them.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "zelk/event.hpp"

namespace zelk {

enum class SourceField : uint8_t { Price, Volume, TradePrice, TradeVolume };

// The event kind that carries the field.
constexpr EventKind event_kind_of(SourceField field) {
    switch (field) {
        case SourceField::Price: return EventKind::Price;
        case SourceField::Volume: return EventKind::Volume;
        case SourceField::TradePrice:
        case SourceField::TradeVolume: return EventKind::Trade;
    }
    return EventKind::Price;
}

// The field's value when the event is of the carrying kind, otherwise nullopt.
inline std::optional<double> read_source_field(const Event& event, SourceField field) {
    switch (field) {
        case SourceField::Price:
            if (const auto* e = event.get_if<PriceEvent>()) return e->price;
            break;
        case SourceField::Volume:
            if (const auto* e = event.get_if<VolumeEvent>()) return e->volume;
            break;
        case SourceField::TradePrice:
            if (const auto* e = event.get_if<TradeEvent>()) return e->price;
            break;
        case SourceField::TradeVolume:
            if (const auto* e = event.get_if<TradeEvent>()) return e->volume;
            break;
    }
    return std::nullopt;
}

}  // namespace zelk
