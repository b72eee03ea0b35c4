#include "zelk/order_book/book.hpp"

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace zelk {

namespace {

[[noreturn]] void mismatched_commit() {
    std::fputs(
        "internal error: entered unreachable code: prepared update must be committed with the "
        "update it describes\n",
        stderr);
    std::abort();
}

PreparedUpdate reject(RejectAction action, OrderBookUpdateError error) {
    return PreparedUpdate{PreparedUpdate::Reject{action, std::move(error)}};
}

PreparedUpdate buffer_full(size_t length) {
    return reject(RejectAction::DiscardAndResync,
                  OrderBookUpdateError{BufferCapacityExceeded{length}});
}

}  // namespace

std::expected<OrderBook, OrderBookUpdateError> OrderBookConfig::build() const {
    if (!dense) {
        return OrderBook(BookSide::sparse(Side::Bid), BookSide::sparse(Side::Ask), buffer_size,
                         update_policy);
    }
    auto bids = BookSide::dense(Side::Bid, *dense);
    if (!bids) return std::unexpected(bids.error());
    auto asks = BookSide::dense(Side::Ask, *dense);
    if (!asks) return std::unexpected(asks.error());
    return OrderBook(std::move(*bids), std::move(*asks), buffer_size, update_policy);
}

OrderBook::OrderBook(BookSide bids, BookSide asks, size_t buffer_size, UpdatePolicy update_policy)
    : bids_(std::move(bids)),
      asks_(std::move(asks)),
      history_(buffer_size),
      update_policy_(update_policy) {}

std::optional<OrderBookUpdateError> OrderBook::first_invalid(const BookSide& side,
                                                             const std::vector<Level>& levels) {
    for (const Level& level : levels) {
        if (!side.accepts(level.price, level.size)) {
            return OrderBookUpdateError{InvalidUpdate{side.side(), level.price, level.size}};
        }
    }
    return std::nullopt;
}

PreparedUpdate OrderBook::prepare_update(const OrderBookSnapshot& snapshot) const {
    if (auto error = first_invalid(bids_, snapshot.bids)) {
        return reject(RejectAction::Discard, std::move(*error));
    }
    if (auto error = first_invalid(asks_, snapshot.asks)) {
        return reject(RejectAction::Discard, std::move(*error));
    }
    const uint64_t id = snapshot.update_id;
    if (snapshot_update_id_ && id <= *snapshot_update_id_) {
        return reject(RejectAction::Discard,
                      OrderBookUpdateError{StaleSnapshot{*snapshot_update_id_, id}});
    }
    const PreparedUpdate apply{PreparedUpdate::ApplySnapshot{state_ == SyncState::Resynchronizing}};
    if (update_policy_ == UpdatePolicy::Monotonic) return apply;

    // The retained deltas newer than the snapshot must continue it without a
    // gap, or the replayed book would silently miss changes.
    uint64_t expected = id + 1;
    for (size_t i = 0; i < history_.size(); ++i) {
        const uint64_t entry = history_[i].update_id;
        if (entry <= id) continue;
        if (entry != expected) {
            return reject(RejectAction::Discard,
                          OrderBookUpdateError{SnapshotHistoryGap{id, expected, entry}});
        }
        expected = entry + 1;
    }
    return apply;
}

PreparedUpdate OrderBook::prepare_update(const OrderBookDelta& delta) const {
    const auto invalid = [](const LevelChange& change) {
        return reject(RejectAction::Discard,
                      OrderBookUpdateError{InvalidUpdate{change.side, change.price, change.size}});
    };
    // Both sides share one storage form, so it is chosen once per delta
    // rather than once per change.
    if (const DenseBookSide* dense_bids = bids_.dense_form()) {
        const DenseBookSide& dense_asks = *asks_.dense_form();
        for (const LevelChange& change : delta.changes) {
            const DenseBookSide& side = change.side == Side::Ask ? dense_asks : *dense_bids;
            if (!side.accepts(change.price, change.size)) return invalid(change);
        }
    } else {
        for (const LevelChange& change : delta.changes) {
            if (!SparseBookSide::accepts(change.price, change.size)) return invalid(change);
        }
    }
    const uint64_t id = delta.update_id;
    const size_t length = history_.size();
    const bool full = history_.full();
    const bool contiguous = update_policy_ == UpdatePolicy::Contiguous;

    if (!history_.empty()) {
        const uint64_t back = history_.back().update_id;
        if (id <= back) return PreparedUpdate{PreparedUpdate::Ignore{}};
        if (contiguous && id != back + 1) {
            if (full) return buffer_full(length);
            // Keep the out-of-sequence delta: a snapshot bridging the gap can
            // still use it.
            const RejectAction action = state_ == SyncState::Synchronized
                                            ? RejectAction::RetainDeltaAndResync
                                            : RejectAction::RetainDelta;
            return reject(action, OrderBookUpdateError{SequenceGap{back + 1, id}});
        }
    }
    if (state_ != SyncState::Synchronized) {
        if (full) return buffer_full(length);
        return PreparedUpdate{PreparedUpdate::Buffer{}};
    }
    const uint64_t last = *last_update_id_;
    if (id <= last) return PreparedUpdate{PreparedUpdate::Ignore{}};
    if (full) return buffer_full(length);
    if (id == last + 1 || !contiguous) return PreparedUpdate{PreparedUpdate::ApplyDelta{}};
    return reject(RejectAction::RetainDeltaAndResync,
                  OrderBookUpdateError{SequenceGap{last + 1, id}});
}

void OrderBook::apply_changes(const OrderBookDelta& delta) {
    if (DenseBookSide* dense_bids = bids_.dense_form()) {
        DenseBookSide& dense_asks = *asks_.dense_form();
        for (const LevelChange& change : delta.changes) {
            DenseBookSide& side = change.side == Side::Ask ? dense_asks : *dense_bids;
            side.update_level(change.price, change.size);
        }
        return;
    }
    SparseBookSide& sparse_bids = *bids_.sparse_form();
    SparseBookSide& sparse_asks = *asks_.sparse_form();
    for (const LevelChange& change : delta.changes) {
        SparseBookSide& side = change.side == Side::Ask ? sparse_asks : sparse_bids;
        side.update_level(change.price, change.size);
    }
}

std::expected<UpdateOutcome, OrderBookUpdateError> OrderBook::commit_update(
    const PreparedUpdate& prepared, OrderBookUpdate&& update) {
    auto* delta = std::get_if<OrderBookDelta>(&update);
    auto* snapshot = std::get_if<OrderBookSnapshot>(&update);

    switch (prepared.value.index()) {
        case 0:  // Ignore
            if (delta == nullptr) mismatched_commit();
            return UpdateOutcome::Ignored;
        case 1:  // Buffer
            if (delta == nullptr) mismatched_commit();
            history_.push_back(std::move(*delta));
            return UpdateOutcome::Buffered;
        case 2: {  // ApplyDelta
            if (delta == nullptr) mismatched_commit();
            apply_changes(*delta);
            last_update_id_ = delta->update_id;
            history_.push_back(std::move(*delta));
            return UpdateOutcome::Applied;
        }
        case 3: {  // ApplySnapshot
            if (snapshot == nullptr) mismatched_commit();
            const bool resync = std::get<PreparedUpdate::ApplySnapshot>(prepared.value).resync;
            const uint64_t id = snapshot->update_id;
            bids_.apply_snapshot(std::move(snapshot->bids));
            asks_.apply_snapshot(std::move(snapshot->asks));
            last_update_id_ = id;
            snapshot_update_id_ = id;
            history_.drop_through(id);
            for (size_t i = 0; i < history_.size(); ++i) {
                apply_changes(history_[i]);
                last_update_id_ = history_[i].update_id;
            }
            state_ = SyncState::Synchronized;
            return resync ? UpdateOutcome::Resynchronized : UpdateOutcome::Applied;
        }
        default: {  // Reject
            const auto& rejection = std::get<PreparedUpdate::Reject>(prepared.value);
            switch (rejection.action) {
                case RejectAction::RetainDelta:
                    if (delta == nullptr) mismatched_commit();
                    history_.push_back(std::move(*delta));
                    break;
                case RejectAction::RetainDeltaAndResync:
                    if (delta == nullptr) mismatched_commit();
                    history_.push_back(std::move(*delta));
                    state_ = SyncState::Resynchronizing;
                    break;
                case RejectAction::Discard:
                    break;
                case RejectAction::DiscardAndResync:
                    state_ = SyncState::Resynchronizing;
                    break;
            }
            return std::unexpected(rejection.error);
        }
    }
}

}  // namespace zelk
