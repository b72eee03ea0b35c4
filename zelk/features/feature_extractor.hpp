// FeatureExtractor: turns one event at a time into the raw feature vector.
//
// handle_event validates an event (per-symbol timestamp order, finite
// payload), routes it to exactly the derivations that subscribe to it in
// ascending derivation order, and advances the timestamp marks. Every refusal
// leaves the extractor unchanged. update_context replaces named context cells
// without touching market state. The same instance serves live stepping and
// batch replay, so both agree by construction.
//
// Single owner, no internal locking; calls on one instance are sequential.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "zelk/error.hpp"
#include "zelk/event.hpp"
#include "zelk/features/compilation.hpp"
#include "zelk/order_book/order_book_storage.hpp"
#include "zelk/symbols.hpp"
#include "zelk/vectors.hpp"

namespace zelk {

// One entry of a context batch: a feature ID and its new value (nullopt
// clears the cell to NaN).
struct ContextUpdate {
    std::string_view name;
    std::optional<double> value;
};

// The fixed reasons of InvalidContextUpdate, in the order they are checked.
inline constexpr std::string_view CONTEXT_UNKNOWN_FEATURE_ID = "unknown feature ID";
inline constexpr std::string_view CONTEXT_NOT_A_CONTEXT_FEATURE = "target is not a context feature";
inline constexpr std::string_view CONTEXT_DUPLICATE_FEATURE_ID = "duplicate feature ID";
inline constexpr std::string_view CONTEXT_VALUE_NOT_FINITE = "context value must be finite or None";

class FeatureExtractor {
public:
    // Takes ownership of the vector, the compilation and the books, and sets
    // every cell, reserved ones included, to NaN. Fails with
    // DuplicateOrderBook or LimitExceeded (order books) from the book list,
    // and with OrderBookNotConfigured when a book feature's symbol has no book.
    static Result<FeatureExtractor> create(VecFeatureVector vector, Compilation compilation,
                                           std::vector<std::pair<Symbol, OrderBook>> books = {});

    // Move-only: the context lookup table refers to the owned feature IDs.
    FeatureExtractor(FeatureExtractor&&) noexcept = default;
    FeatureExtractor& operator=(FeatureExtractor&&) noexcept = default;
    FeatureExtractor(const FeatureExtractor&) = delete;
    FeatureExtractor& operator=(const FeatureExtractor&) = delete;

    // Applies one event. On error nothing has changed.
    Status handle_event(Event event);

    // Checks a context batch without writing: the first bad entry is
    // reported as InvalidContextUpdate{index, reason}.
    Status validate_context(std::span<const ContextUpdate> updates) const;
    // Validates the whole batch, then writes it. An empty batch changes
    // nothing; a non-empty one clears the update mask first. Context writes
    // set no mask bits and move no timestamp mark.
    Status update_context(std::span<const ContextUpdate> updates);

    const VecFeatureVector& vector() const { return vector_; }
    size_t capacity() const { return vector_.capacity(); }
    size_t active_length() const { return vector_.active_length(); }
    std::span<const std::string> feature_ids() const { return feature_ids_; }
    // One byte per cell: 1 where the last dispatched event wrote the cell.
    std::span<const uint8_t> update_mask() const { return update_mask_; }
    std::optional<Timestamp> last_timestamp() const { return last_timestamp_; }
    std::optional<Timestamp> watermark() const { return watermark_; }
    // The configured book of `symbol`, or nullptr.
    const OrderBook* order_book(Symbol symbol) const { return books_.find(symbol); }
    size_t derivation_count() const { return derivations_.size(); }

private:
    FeatureExtractor(VecFeatureVector vector, Compilation compilation, OrderBookStorage books);

    // Book preparation of a book event: the plan to commit after dispatch,
    // nullopt when the symbol has no book (the event then passes through),
    // or the refusal. A Reject plan is committed here so the book keeps its
    // resynchronisation state, and its error is returned.
    Result<std::optional<PreparedUpdate>> prepare_book_update(Event& event);
    // Commits the plan and, after Applied or Resynchronized, re-evaluates the
    // symbol's book derivations.
    void commit_book_update(Symbol symbol, const PreparedUpdate& plan, Event& event);

    // Cell index of a context feature ID, or the reason it cannot be set.
    Result<size_t> resolve_context_cell(size_t index, std::string_view name) const;
    void update_subscribers(std::span<const uint16_t> subscribers, const Event& event);

    std::optional<Timestamp> last_timestamp_;
    std::optional<Timestamp> watermark_;
    VecFeatureVector vector_;
    std::vector<uint8_t> update_mask_;
    std::vector<FeatureDerivation> derivations_;
    std::vector<OutputRange> output_ranges_;
    std::vector<std::string> feature_ids_;
    std::vector<bool> context_flags_;
    EventRouter router_;
    OrderBookStorage books_;
    // Last accepted timestamp per symbol id; one slot per possible symbol.
    std::array<std::optional<Timestamp>, SYMBOL_LIMIT> symbol_timestamps_{};
    // Feature ID -> cell, for context lookups (not on the per-event path).
    std::unordered_map<std::string_view, size_t> cell_by_id_;
};

}  // namespace zelk
