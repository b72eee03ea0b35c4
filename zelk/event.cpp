#include "zelk/event.hpp"

#include <cmath>

namespace zelk {

Timestamp Event::timestamp() const {
    return std::visit([](const auto& e) { return e.timestamp; }, payload_);
}

Symbol Event::symbol() const {
    return std::visit(
        [](const auto& e) {
            if constexpr (std::is_same_v<std::decay_t<decltype(e)>, TimeEvent>) {
                return Symbol::global();
            } else {
                return e.symbol;
            }
        },
        payload_);
}

Status Event::validate_finite_values() const {
    auto fail = [](EventValueField field) -> Status {
        return std::unexpected(ZelkError{arg::NonFiniteEventValue{field}});
    };
    if (const auto* p = get_if<PriceEvent>()) {
        if (!std::isfinite(p->price)) return fail(EventValueField::Price);
    } else if (const auto* v = get_if<VolumeEvent>()) {
        if (!std::isfinite(v->volume)) return fail(EventValueField::Volume);
    } else if (const auto* t = get_if<TradeEvent>()) {
        if (!std::isfinite(t->price)) return fail(EventValueField::TradePrice);
        if (!std::isfinite(t->volume)) return fail(EventValueField::TradeVolume);
    }
    return {};
}

std::optional<OrderBookUpdate> Event::into_order_book_update() {
    if (auto* d = std::get_if<OrderBookDeltaEvent>(&payload_)) {
        return OrderBookUpdate{std::move(d->delta)};
    }
    if (auto* s = std::get_if<OrderBookSnapshotEvent>(&payload_)) {
        return OrderBookUpdate{std::move(s->snapshot)};
    }
    return std::nullopt;
}

}  // namespace zelk
