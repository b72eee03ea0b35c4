#include "zelk/types.hpp"

namespace zelk {

std::string_view display_name(EventKind kind) {
    switch (kind) {
        case EventKind::Price: return "price";
        case EventKind::Volume: return "volume";
        case EventKind::Trade: return "trade";
        case EventKind::OrderBookDelta: return "order book delta";
        case EventKind::OrderBookSnapshot: return "order book snapshot";
        case EventKind::Time: return "time";
    }
    return "";
}

}  // namespace zelk
