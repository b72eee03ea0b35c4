#include "zelk/order_book/order_book_storage.hpp"

#include <algorithm>

namespace zelk {

Result<OrderBookStorage> OrderBookStorage::create(std::vector<std::pair<Symbol, OrderBook>> books) {
    if (books.size() > MAX_BOOKS) {
        return std::unexpected(ZelkError{arg::LimitExceeded{LimitTarget::OrderBooks,
                                                            books.size(), MAX_BOOKS - 1}});
    }
    size_t table_size = 0;
    for (const auto& [symbol, book] : books) {
        table_size = std::max(table_size, static_cast<size_t>(symbol.id) + 1);
    }
    std::vector<uint32_t> positions(table_size, NO_BOOK);
    for (size_t i = 0; i < books.size(); ++i) {
        uint32_t& slot = positions[books[i].first.id];
        if (slot != NO_BOOK) {
            return std::unexpected(ZelkError{err::DuplicateOrderBook{books[i].first}});
        }
        slot = static_cast<uint32_t>(i);
    }
    OrderBookStorage storage;
    storage.books_.reserve(books.size());
    for (auto& entry : books) storage.books_.push_back(std::move(entry.second));
    storage.positions_ = std::move(positions);
    return storage;
}

Result<PreparedUpdate> OrderBookStorage::prepare_update(Symbol symbol,
                                                        const OrderBookSnapshot& snapshot) const {
    const OrderBook* book = find(symbol);
    if (book == nullptr) return std::unexpected(ZelkError{err::OrderBookNotConfigured{symbol}});
    return book->prepare_update(snapshot);
}

Result<PreparedUpdate> OrderBookStorage::prepare_update(Symbol symbol,
                                                        const OrderBookDelta& delta) const {
    const OrderBook* book = find(symbol);
    if (book == nullptr) return std::unexpected(ZelkError{err::OrderBookNotConfigured{symbol}});
    return book->prepare_update(delta);
}

Result<UpdateOutcome> OrderBookStorage::commit_update(Symbol symbol, const PreparedUpdate& prepared,
                                                      OrderBookUpdate&& update) {
    OrderBook* book = find_mut(symbol);
    if (book == nullptr) return std::unexpected(ZelkError{err::OrderBookNotConfigured{symbol}});
    auto outcome = book->commit_update(prepared, std::move(update));
    if (!outcome) return std::unexpected(ZelkError{std::move(outcome.error())});
    return *outcome;
}

}  // namespace zelk
