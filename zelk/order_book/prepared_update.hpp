// PreparedUpdate: what an order book decided to do with one update.
//
// OrderBook::prepare_update inspects the book and the update and returns one
// of these without changing anything; OrderBook::commit_update carries it out
// with the same update. Keeping the decision separate lets the caller refuse
// an event before any of its own state changes, and makes the commit
// infallible except for the rejection it was told about.
#pragma once

#include <cstdint>
#include <variant>

#include "zelk/order_book/order_book_update_error.hpp"

namespace zelk {

// What still happens when an update is refused.
enum class RejectAction : uint8_t {
    RetainDelta = 0,           // the delta joins the history; state unchanged
    RetainDeltaAndResync = 1,  // the delta joins the history; state -> Resynchronizing
    Discard = 2,               // nothing changes
    DiscardAndResync = 3,      // the update is dropped; state -> Resynchronizing
};

struct PreparedUpdate {
    // A delta not newer than what the book already has; dropped.
    struct Ignore {
        friend bool operator==(const Ignore&, const Ignore&) = default;
    };
    // A delta stored in the history while the book is not synchronised.
    struct Buffer {
        friend bool operator==(const Buffer&, const Buffer&) = default;
    };
    // A delta applied to the sides now.
    struct ApplyDelta {
        friend bool operator==(const ApplyDelta&, const ApplyDelta&) = default;
    };
    // A snapshot replacing the sides, then the newer history replayed.
    struct ApplySnapshot {
        bool resync;  // the book was Resynchronizing
        friend bool operator==(const ApplySnapshot&, const ApplySnapshot&) = default;
    };
    // A refusal: the action is carried out, then the error is returned.
    struct Reject {
        RejectAction action;
        OrderBookUpdateError error;
        friend bool operator==(const Reject&, const Reject&) = default;
    };

    std::variant<Ignore, Buffer, ApplyDelta, ApplySnapshot, Reject> value;

    // The refusal, or nullptr when the update is accepted.
    const Reject* rejection() const { return std::get_if<Reject>(&value); }

    friend bool operator==(const PreparedUpdate&, const PreparedUpdate&) = default;
};

}  // namespace zelk
