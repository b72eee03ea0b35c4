// OrderBook: the bid and ask sides of one instrument, kept in step with an
// exchange feed of snapshots and deltas stamped with update IDs.
//
// Every update goes through two steps: prepare_update decides what to do and
// changes nothing; commit_update carries the decision out and cannot fail
// half-way. A refused update leaves the sides untouched (a rejection may
// still retain the delta or move the book to Resynchronizing, as its
// RejectAction says).
//
// Invariants: the history holds the deltas received since the last snapshot,
// applied or not, in arrival order with strictly increasing update IDs, and
// never more than buffer_size of them; it is trimmed only by a snapshot. In
// state Synchronized, last_update_id is set and the sides reflect the last
// snapshot plus every delta of the history. The book never returns to
// AwaitingSnapshot. Not thread-safe: one extractor uses it on one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>

#include "zelk/order_book/book_side.hpp"
#include "zelk/order_book/delta_history.hpp"
#include "zelk/order_book/order_book_config.hpp"
#include "zelk/order_book/order_book_update.hpp"
#include "zelk/order_book/order_book_update_error.hpp"
#include "zelk/order_book/prepared_update.hpp"

namespace zelk {

enum class SyncState : uint8_t {
    AwaitingSnapshot = 0,  // no snapshot applied yet
    Synchronized = 1,      // every delta accepted since the snapshot is applied
    Resynchronizing = 2,   // the sequence broke; deltas are only stored
};

// The success result of OrderBook::commit_update.
enum class UpdateOutcome : uint8_t {
    Applied = 0,
    Buffered = 1,
    Ignored = 2,
    Resynchronized = 3,  // a snapshot applied while Resynchronizing
};

class OrderBook {
public:
    OrderBook(OrderBook&&) noexcept = default;
    OrderBook& operator=(OrderBook&&) noexcept = default;

    // The update ID of the last applied snapshot or delta (replays included).
    std::optional<uint64_t> last_update_id() const { return last_update_id_; }
    // The update ID of the last applied snapshot.
    std::optional<uint64_t> snapshot_update_id() const { return snapshot_update_id_; }
    const BookSide& bids() const { return bids_; }
    const BookSide& asks() const { return asks_; }
    // The deltas kept since the last snapshot, oldest first.
    const DeltaHistory& history() const { return history_; }
    size_t buffer_size() const { return history_.capacity(); }
    UpdatePolicy update_policy() const { return update_policy_; }
    SyncState state() const { return state_; }
    bool is_dense() const { return bids_.is_dense(); }

    // Decides what to do with `snapshot`; changes nothing. Validates every
    // bid, then every ask, refuses a snapshot not newer than the last one and,
    // under Contiguous, one the retained history does not continue.
    PreparedUpdate prepare_update(const OrderBookSnapshot& snapshot) const;
    // Decides what to do with `delta`; changes nothing. Validates every
    // change against the side it names, then sequences it against the
    // history and last_update_id.
    PreparedUpdate prepare_update(const OrderBookDelta& delta) const;

    // Carries out `prepared`, consuming `update`, and returns the outcome, or
    // the error of a Reject after carrying out its action.
    // REQUIRES: `prepared` came from prepare_update of this very update, with
    // no other change to the book in between. A decision that does not fit
    // the kind of update stops the process.
    std::expected<UpdateOutcome, OrderBookUpdateError> commit_update(
        const PreparedUpdate& prepared, OrderBookUpdate&& update);

private:
    friend struct OrderBookConfig;

    OrderBook(BookSide bids, BookSide asks, size_t buffer_size, UpdatePolicy update_policy);

    // The first invalid level of `levels` aimed at `side`, if any.
    static std::optional<OrderBookUpdateError> first_invalid(const BookSide& side,
                                                             const std::vector<Level>& levels);
    void apply_changes(const OrderBookDelta& delta);

    std::optional<uint64_t> last_update_id_;
    std::optional<uint64_t> snapshot_update_id_;
    BookSide bids_;
    BookSide asks_;
    DeltaHistory history_;
    UpdatePolicy update_policy_;
    SyncState state_ = SyncState::AwaitingSnapshot;
};

}  // namespace zelk
