#include "zelk/features/feature_extractor.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace zelk {

Result<FeatureExtractor> FeatureExtractor::create(VecFeatureVector vector, Compilation compilation,
                                                  std::vector<std::pair<Symbol, OrderBook>> books) {
    auto storage = OrderBookStorage::create(std::move(books));
    if (!storage) return std::unexpected(std::move(storage.error()));
    for (const auto& derivation : compilation.derivations) {
        if (const auto* book = as_order_book_derivation(derivation);
            book != nullptr && storage->find(book->symbol()) == nullptr) {
            return std::unexpected(ZelkError{err::OrderBookNotConfigured{book->symbol()}});
        }
    }
    return FeatureExtractor(std::move(vector), std::move(compilation), std::move(*storage));
}

FeatureExtractor::FeatureExtractor(VecFeatureVector vector, Compilation compilation,
                                   OrderBookStorage books)
    : vector_(std::move(vector)),
      update_mask_(vector_.capacity(), 0),
      derivations_(std::move(compilation.derivations)),
      output_ranges_(std::move(compilation.output_ranges)),
      feature_ids_(std::move(compilation.feature_ids)),
      context_flags_(std::move(compilation.context_flags)),
      router_(std::move(compilation.router)),
      books_(std::move(books)) {
    vector_.fill(std::numeric_limits<double>::quiet_NaN());
    cell_by_id_.reserve(feature_ids_.size());
    // The first cell wins for a repeated ID; the compiler refuses duplicates.
    for (size_t cell = 0; cell < feature_ids_.size(); ++cell) {
        cell_by_id_.emplace(feature_ids_[cell], cell);
    }
}

Status FeatureExtractor::handle_event(Event event) {
    const Symbol symbol = event.symbol();
    const Timestamp timestamp = event.timestamp();

    if (const auto& previous = symbol_timestamps_[symbol.id]; previous && timestamp < *previous) {
        return std::unexpected(
            ZelkError{err::TimestampOutOfOrder{symbol, event.kind(), timestamp, *previous}});
    }
    if (auto finite = event.validate_finite_values(); !finite) return finite;

    std::optional<PreparedUpdate> plan;
    if (event.is_order_book_event()) {
        auto prepared = prepare_book_update(event);
        if (!prepared) return std::unexpected(std::move(prepared.error()));
        plan = std::move(*prepared);
    }

    std::fill(update_mask_.begin(), update_mask_.end(), uint8_t{0});
    if (!watermark_ || timestamp >= *watermark_) {
        update_subscribers(router_.global_subscribers(), event);
    }
    update_subscribers(router_.kind_subscribers(symbol, event.kind()), event);
    if (plan) commit_book_update(symbol, *plan, event);

    last_timestamp_ = timestamp;
    symbol_timestamps_[symbol.id] = timestamp;
    watermark_ = watermark_ ? std::max(*watermark_, timestamp) : timestamp;
    return {};
}

Result<std::optional<PreparedUpdate>> FeatureExtractor::prepare_book_update(Event& event) {
    const Symbol symbol = event.symbol();
    if (books_.find(symbol) == nullptr) {
        // Book features need a configured book for their symbol; without
        // them the event passes through like any other.
        if (!router_.book_subscribers(symbol).empty()) {
            return std::unexpected(ZelkError{err::OrderBookNotConfigured{symbol}});
        }
        return std::optional<PreparedUpdate>{};
    }
    Result<PreparedUpdate> prepared =
        event.kind() == EventKind::OrderBookDelta
            ? books_.prepare_update(symbol, event.get_if<OrderBookDeltaEvent>()->delta)
            : books_.prepare_update(symbol, event.get_if<OrderBookSnapshotEvent>()->snapshot);
    if (!prepared) return std::unexpected(std::move(prepared.error()));
    if (prepared->rejection() != nullptr) {
        // The refusal still runs its action (history, resync state); the
        // event is consumed either way.
        auto committed = books_.commit_update(symbol, *prepared, *event.into_order_book_update());
        if (committed) {
            std::fputs("zelk: a rejected order-book update committed successfully\n", stderr);
            std::abort();
        }
        return std::unexpected(std::move(committed.error()));
    }
    return std::optional<PreparedUpdate>{std::move(*prepared)};
}

void FeatureExtractor::commit_book_update(Symbol symbol, const PreparedUpdate& plan, Event& event) {
    auto outcome = books_.commit_update(symbol, plan, *event.into_order_book_update());
    if (!outcome) {
        // Only Reject plans fail, and those never reach this point.
        std::fputs("zelk: an accepted order-book update failed to commit\n", stderr);
        std::abort();
    }
    if (*outcome != UpdateOutcome::Applied && *outcome != UpdateOutcome::Resynchronized) return;
    const OrderBook& book = *books_.find(symbol);
    const BookTop top = book_top(book);
    for (const uint16_t d : router_.book_subscribers(symbol)) {
        const OutputRange& range = output_ranges_[d];
        as_order_book_derivation(derivations_[d])
            ->evaluate(book, top, std::span(vector_.data() + range.first, range.count));
        std::fill_n(update_mask_.begin() + range.first, range.count, 1);
    }
}

void FeatureExtractor::update_subscribers(std::span<const uint16_t> subscribers,
                                          const Event& event) {
    OutputSink sink(vector_.data(), update_mask_.data());
    for (const uint16_t d : subscribers) {
        const OutputRange& range = output_ranges_[d];
        std::visit(
            [&](auto& derivation) { derivation.update(event, range.first, range.count, sink); },
            derivations_[d]);
    }
}

Result<size_t> FeatureExtractor::resolve_context_cell(size_t index, std::string_view name) const {
    auto fail = [index](std::string_view reason) {
        return std::unexpected(ZelkError{err::InvalidContextUpdate{index, reason}});
    };
    const auto it = cell_by_id_.find(name);
    if (it == cell_by_id_.end()) return fail(CONTEXT_UNKNOWN_FEATURE_ID);
    if (!context_flags_[it->second]) return fail(CONTEXT_NOT_A_CONTEXT_FEATURE);
    return it->second;
}

Status FeatureExtractor::validate_context(std::span<const ContextUpdate> updates) const {
    for (size_t i = 0; i < updates.size(); ++i) {
        if (auto cell = resolve_context_cell(i, updates[i].name); !cell) {
            return std::unexpected(std::move(cell.error()));
        }
        for (size_t j = 0; j < i; ++j) {
            if (updates[j].name == updates[i].name) {
                return std::unexpected(
                    ZelkError{err::InvalidContextUpdate{i, CONTEXT_DUPLICATE_FEATURE_ID}});
            }
        }
        if (updates[i].value && !std::isfinite(*updates[i].value)) {
            return std::unexpected(
                ZelkError{err::InvalidContextUpdate{i, CONTEXT_VALUE_NOT_FINITE}});
        }
    }
    return {};
}

Status FeatureExtractor::update_context(std::span<const ContextUpdate> updates) {
    if (auto valid = validate_context(updates); !valid) return valid;
    if (updates.empty()) return {};
    std::fill(update_mask_.begin(), update_mask_.end(), uint8_t{0});
    for (size_t i = 0; i < updates.size(); ++i) {
        const size_t cell = *resolve_context_cell(i, updates[i].name);
        vector_.set_value_at(cell,
                             updates[i].value.value_or(std::numeric_limits<double>::quiet_NaN()));
    }
    return {};
}

}  // namespace zelk
