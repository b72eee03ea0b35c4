// OrderBookStorage: the books of one extractor, looked up by symbol.
//
// Books sit in one array in the order they were configured; a table indexed
// by symbol handle (0 up to the largest configured handle) maps each symbol
// to its book's position, so a lookup is one bounds check and one load. Owns
// its books; movable. Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "zelk/error.hpp"
#include "zelk/order_book/book.hpp"
#include "zelk/types.hpp"

namespace zelk {

class OrderBookStorage {
public:
    // The most books one storage holds; positions must fit 16 bits.
    static constexpr size_t MAX_BOOKS = 65536;

    // No books.
    OrderBookStorage() = default;

    // Takes the books in list order. Fails with LimitExceeded (target
    // OrderBooks, limit 65535) for more than MAX_BOOKS books, and with
    // DuplicateOrderBook for the first symbol that already has a book.
    static Result<OrderBookStorage> create(std::vector<std::pair<Symbol, OrderBook>> books);

    // The book of `symbol`, owned by the storage; nullptr when none.
    const OrderBook* find(Symbol symbol) const {
        if (symbol.id >= positions_.size()) return nullptr;
        const uint32_t position = positions_[symbol.id];
        return position == NO_BOOK ? nullptr : &books_[position];
    }
    // Number of books.
    size_t size() const { return books_.size(); }

    // The book's decision on the update (see OrderBook::prepare_update), or
    // OrderBookNotConfigured when the symbol has no book.
    Result<PreparedUpdate> prepare_update(Symbol symbol, const OrderBookSnapshot& snapshot) const;
    Result<PreparedUpdate> prepare_update(Symbol symbol, const OrderBookDelta& delta) const;

    // Commits a prepared update to the symbol's book. A book error comes back
    // as the OrderBookUpdateFailed case; a symbol without a book fails with
    // OrderBookNotConfigured and the update is dropped.
    // REQUIRES: as OrderBook::commit_update.
    Result<UpdateOutcome> commit_update(Symbol symbol, const PreparedUpdate& prepared,
                                        OrderBookUpdate&& update);

private:
    static constexpr uint32_t NO_BOOK = UINT32_MAX;

    OrderBook* find_mut(Symbol symbol) {
        return const_cast<OrderBook*>(std::as_const(*this).find(symbol));
    }

    std::vector<OrderBook> books_;
    std::vector<uint32_t> positions_;  // by symbol handle; NO_BOOK when empty
};

}  // namespace zelk
