// The extractor's table of books: construction limits, lookup and forwarding.
#include "zelk/order_book/order_book_storage.hpp"

#include <gtest/gtest.h>

#include "tests/cpp/order_book/book_test_support.hpp"
#include "zelk/symbols.hpp"

namespace zelk {
namespace {

using namespace zelk::testing;

std::vector<std::pair<Symbol, OrderBook>> books_for(std::initializer_list<Symbol> symbols) {
    std::vector<std::pair<Symbol, OrderBook>> books;
    for (Symbol s : symbols) books.emplace_back(s, sparse_book(4, UpdatePolicy::Contiguous));
    return books;
}

TEST(OrderBookStorage, FindsBooksBySymbol) {
    const Symbol btc = intern("btc").value();
    const Symbol eth = intern("eth").value();
    auto storage = OrderBookStorage::create(books_for({eth, btc})).value();
    EXPECT_EQ(storage.size(), 2u);
    ASSERT_NE(storage.find(btc), nullptr);
    ASSERT_NE(storage.find(eth), nullptr);
    EXPECT_NE(storage.find(btc), storage.find(eth));
    EXPECT_EQ(storage.find(Symbol::global()), nullptr);
    EXPECT_EQ(storage.find(Symbol{65535}), nullptr);

    const OrderBookStorage empty;
    EXPECT_EQ(empty.size(), 0u);
    EXPECT_EQ(empty.find(btc), nullptr);
}

TEST(OrderBookStorage, RefusesDuplicateSymbolsAndTooManyBooks) {
    const Symbol btc = intern("btc").value();
    const Symbol eth = intern("eth").value();
    const auto duplicate = OrderBookStorage::create(books_for({btc, eth, btc}));
    ASSERT_FALSE(duplicate.has_value());
    EXPECT_EQ(to_string(duplicate.error()),
              "more than one order book is configured for symbol btc");

    // 65536 books, one per possible handle, are the most a storage holds.
    std::vector<std::pair<Symbol, OrderBook>> books;
    for (uint32_t id = 0; id < 65536; ++id) {
        books.emplace_back(Symbol{static_cast<uint16_t>(id)},
                           sparse_book(0, UpdatePolicy::Monotonic));
    }
    auto full = OrderBookStorage::create(std::move(books));
    ASSERT_TRUE(full.has_value());
    EXPECT_EQ(full->size(), 65536u);
    EXPECT_NE(full->find(Symbol{65535}), nullptr);

    std::vector<std::pair<Symbol, OrderBook>> too_many;
    for (uint32_t id = 0; id < 65537; ++id) {
        too_many.emplace_back(Symbol{static_cast<uint16_t>(id % 65536)},
                              sparse_book(0, UpdatePolicy::Monotonic));
    }
    const auto refused = OrderBookStorage::create(std::move(too_many));
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(to_string(refused.error()),
              "invalid argument: order-book count 65537 exceeds limit 65535");
}

TEST(OrderBookStorage, ForwardsUpdatesAndWrapsBookErrors) {
    const Symbol btc = intern("btc").value();
    const Symbol eth = intern("eth").value();
    const Symbol xrp = intern("xrp").value();
    auto storage = OrderBookStorage::create(books_for({btc, eth})).value();

    auto first = snapshot(1, {lvl("100", "1")});
    const auto prepared = storage.prepare_update(btc, std::get<OrderBookSnapshot>(first));
    ASSERT_TRUE(prepared.has_value());
    EXPECT_EQ(storage.commit_update(btc, *prepared, std::move(first)), UpdateOutcome::Applied);
    EXPECT_EQ(storage.find(btc)->last_update_id(), 1u);
    EXPECT_EQ(storage.find(eth)->last_update_id(), std::nullopt);

    auto gap = delta(3, {bid("100", "2")});
    const auto refused = storage.prepare_update(btc, std::get<OrderBookDelta>(gap));
    ASSERT_TRUE(refused.has_value());
    ASSERT_NE(refused->rejection(), nullptr);
    const auto committed = storage.commit_update(btc, *refused, std::move(gap));
    ASSERT_FALSE(committed.has_value());
    EXPECT_EQ(to_string(committed.error()),
              "order-book update failed: expected update ID 2, received 3");
    EXPECT_EQ(storage.find(btc)->state(), SyncState::Resynchronizing);
    EXPECT_EQ(levels_of(*storage.find(btc), Side::Bid), std::vector{lvl("100", "1")});

    const auto missing = storage.prepare_update(xrp, std::get<OrderBookDelta>(delta(1)));
    ASSERT_FALSE(missing.has_value());
    EXPECT_EQ(to_string(missing.error()), "no order book is configured for symbol xrp");
    const auto dropped = storage.commit_update(xrp, *prepared, snapshot(2));
    ASSERT_FALSE(dropped.has_value());
    EXPECT_EQ(to_string(dropped.error()), "no order book is configured for symbol xrp");
    EXPECT_EQ(storage.find(btc)->snapshot_update_id(), 1u);
}

}  // namespace
}  // namespace zelk
