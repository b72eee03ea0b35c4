// The book queries on worked examples, each run on a sparse and a dense book.
#include "zelk/order_book/queries.hpp"

#include <gtest/gtest.h>

#include <string>

#include "tests/cpp/order_book/book_test_support.hpp"
#include "zelk/error.hpp"

namespace zelk {
namespace {

using namespace zelk::testing;

// The same levels in a sparse book and in a dense book over `tick`/[min, max].
std::vector<OrderBook> books(std::vector<Level> bids, std::vector<Level> asks,
                             std::string_view tick = "0.5", std::string_view min = "0",
                             std::string_view max = "1000") {
    std::vector<OrderBook> result;
    result.push_back(sparse_book(16, UpdatePolicy::Monotonic));
    result.push_back(dense_book(16, UpdatePolicy::Monotonic, tick, min, max));
    for (OrderBook& book : result) {
        EXPECT_EQ(apply(book, snapshot(1, bids, asks)), UpdateOutcome::Applied);
    }
    return result;
}

const char* form(const OrderBook& book) { return book.is_dense() ? "dense" : "sparse"; }

std::optional<ExactDecimal> d(std::string_view text) { return dec(text); }
constexpr auto None = std::nullopt;

TEST(OrderBookQueries, EmptyBookHasNoValues) {
    for (const OrderBook& book : books({}, {})) {
        SCOPED_TRACE(form(book));
        EXPECT_EQ(best_bid(book), None);
        EXPECT_EQ(best_ask(book), None);
        EXPECT_EQ(mid_price(book), None);
        EXPECT_EQ(spread(book), None);
        EXPECT_EQ(spread_bps(book), None);
        EXPECT_EQ(weighted_mid_price(book), None);
        EXPECT_EQ(microprice(book), None);
        EXPECT_EQ(imbalance(book, 1), None);
        EXPECT_EQ(level(book, Side::Bid, dec("100")), None);
        EXPECT_TRUE(top_n(book, Side::Ask, 3).empty());
        EXPECT_EQ(nth_level(book, Side::Ask, 1), None);
        EXPECT_EQ(depth_until_price(book, Side::Bid, dec("100")), d("0"));
        EXPECT_EQ(depth_until_total_size(book, Side::Bid, dec("1")), None);
        EXPECT_EQ(volume_between_prices(book, Side::Ask, dec("1"), dec("2")).value(), d("0"));
    }
}

TEST(OrderBookQueries, OneSidedBook) {
    for (const OrderBook& book : books({lvl("100", "2")}, {})) {
        SCOPED_TRACE(form(book));
        EXPECT_EQ(best_bid(book), lvl("100", "2"));
        EXPECT_EQ(best_ask(book), None);
        EXPECT_EQ(mid_price(book), None);
        EXPECT_EQ(spread(book), None);
        EXPECT_EQ(spread_bps(book), None);
        EXPECT_EQ(microprice(book), None);
        EXPECT_EQ(imbalance(book, 1), d("1"));
        EXPECT_EQ(imbalance(book, 0), None);
    }
}

TEST(OrderBookQueries, TopOfBookMeasures) {
    struct Case {
        const char* name;
        std::vector<Level> bids;
        std::vector<Level> asks;
        std::optional<ExactDecimal> mid, spread, bps, weighted_mid, microprice, imbalance_1;
    };
    const Case cases[] = {
        // bps takes the quotient first: 1 / 100.5 rounds at 28 digits, then
        // is scaled; the product first would give different last digits.
        {"bid 100 x 2, ask 101 x 6", {lvl("100", "2")}, {lvl("101", "6")}, d("100.5"), d("1"),
         d("99.502487562189054726368159"), d("100.75"), d("100.25"), d("-0.5")},
        {"crossed", {lvl("101", "1")}, {lvl("100", "3")}, d("100.5"), d("1"),
         d("99.502487562189054726368159"), d("100.25"), d("100.75"), d("-0.5")},
        {"both zero", {lvl("0", "1")}, {lvl("0", "1")}, d("0"), d("0"), None, d("0"), d("0"),
         d("0")},
    };
    for (const Case& c : cases) {
        for (const OrderBook& book : books(c.bids, c.asks)) {
            SCOPED_TRACE(std::string(c.name) + ", " + form(book));
            EXPECT_EQ(mid_price(book), c.mid);
            EXPECT_EQ(spread(book), c.spread);
            EXPECT_EQ(spread_bps(book), c.bps);
            EXPECT_EQ(weighted_mid_price(book), c.weighted_mid);
            EXPECT_EQ(microprice(book), c.microprice);
            EXPECT_EQ(imbalance(book, 1), c.imbalance_1);
        }
    }
}

TEST(OrderBookQueries, DepthWalks) {
    const std::vector<Level> bids = {lvl("100", "1"), lvl("99", "2"), lvl("98", "3")};
    for (const OrderBook& book : books(bids, {lvl("101", "1"), lvl("103", "1")})) {
        SCOPED_TRACE(form(book));
        EXPECT_EQ(depth_until_price(book, Side::Bid, dec("99")), d("3"));
        EXPECT_EQ(depth_until_price(book, Side::Bid, dec("101")), d("0"));
        EXPECT_EQ(depth_until_price(book, Side::Bid, dec("0")), d("6"));
        EXPECT_EQ(depth_until_price(book, Side::Ask, dec("102")), d("1"));
        EXPECT_EQ(depth_until_price(book, Side::Ask, dec("103.0")), d("2"));

        const auto until = [&](const char* target) {
            return depth_until_total_size(book, Side::Bid, dec(target));
        };
        EXPECT_EQ(until("2"), (DepthUntilSize{dec("100"), dec("99"), dec("3")}));
        EXPECT_EQ(until("1"), (DepthUntilSize{dec("100"), dec("100"), dec("1")}));
        EXPECT_EQ(until("6"), (DepthUntilSize{dec("100"), dec("98"), dec("6")}));
        EXPECT_EQ(until("7"), None);
        EXPECT_EQ(until("0"), None);
        EXPECT_EQ(until("-1"), None);

        EXPECT_EQ(volume_between_prices(book, Side::Bid, dec("98"), dec("100")).value(), d("5"));
        EXPECT_EQ(volume_between_prices(book, Side::Bid, dec("97.5"), dec("1000")).value(), d("6"));
        EXPECT_EQ(volume_between_prices(book, Side::Ask, dec("101"), dec("103")).value(), d("1"));
        EXPECT_EQ(volume_between_prices(book, Side::Ask, dec("100"), dec("103.5")).value(), d("2"));
        EXPECT_EQ(volume_between_prices(book, Side::Ask, dec("101.5"), dec("102")).value(), d("0"));
        for (const auto& [from, to] : {std::pair{"100", "98"}, std::pair{"98.0", "98"}}) {
            const auto refused = volume_between_prices(book, Side::Bid, dec(from), dec(to));
            ASSERT_FALSE(refused.has_value());
            EXPECT_EQ(to_string(refused.error()),
                      std::string("invalid price range: from price ") +
                          dec(from).to_normalized_string() + " must be less than to price " + to);
        }

        EXPECT_EQ(top_n(book, Side::Ask, 3), (std::vector{lvl("101", "1"), lvl("103", "1")}));
        EXPECT_EQ(top_n(book, Side::Bid, 2), (std::vector{lvl("100", "1"), lvl("99", "2")}));
        EXPECT_TRUE(top_n(book, Side::Bid, 0).empty());
        EXPECT_EQ(nth_level(book, Side::Ask, 2), lvl("103", "1"));
        EXPECT_EQ(nth_level(book, Side::Ask, 3), None);
        EXPECT_EQ(nth_level(book, Side::Bid, 3), lvl("98", "3"));
        EXPECT_EQ(nth_level(book, Side::Bid, 0), None);

        EXPECT_EQ(level(book, Side::Bid, dec("99.0")), d("2"));
        EXPECT_EQ(level(book, Side::Bid, dec("99.5")), None);
        EXPECT_EQ(level(book, Side::Ask, dec("99")), None);
        EXPECT_EQ(level(book, Side::Bid, dec("99.25")), None);  // off a dense grid

        // imbalance(2): (3 - 2) / 5; (6 - 2) / 8 over everything.
        EXPECT_EQ(imbalance(book, 2), d("0.2"));
        EXPECT_EQ(imbalance(book, 100), d("0.5"));
    }
}

TEST(OrderBookQueries, OverflowingArithmeticHasNoValue) {
    // Prices and sizes near the top of the decimal range, on a sparse book and
    // on a dense grid with a coarse tick.
    const char* big = "70000000000000000000000000000";
    const char* bigger = "79000000000000000000000000000";
    for (const OrderBook& book :
         books({lvl(big, big), lvl("1000000000000000000000000000", big)}, {lvl(bigger, "2")},
               "1000000000000000000000000000", "0", bigger)) {
        SCOPED_TRACE(form(book));
        EXPECT_EQ(best_bid(book), lvl(big, big));
        EXPECT_EQ(mid_price(book), None);             // the sum of the prices overflows
        EXPECT_EQ(spread(book), d("9000000000000000000000000000"));
        EXPECT_EQ(spread_bps(book), None);            // needs the mid
        EXPECT_EQ(weighted_mid_price(book), None);    // price x size overflows
        EXPECT_EQ(microprice(book), None);
        EXPECT_EQ(imbalance(book, 2), None);          // the bid sizes overflow
        // (big - 2) / (big + 2) stays in range: just below 1 after rounding.
        const auto top_imbalance = imbalance(book, 1);
        ASSERT_TRUE(top_imbalance.has_value());
        EXPECT_GT(*top_imbalance, dec("0.9999999999"));
        EXPECT_LE(*top_imbalance, dec("1"));
        EXPECT_EQ(depth_until_price(book, Side::Bid, dec("0")), None);
        EXPECT_EQ(depth_until_total_size(book, Side::Bid, dec(bigger)), None);
        EXPECT_EQ(volume_between_prices(book, Side::Bid, dec("0"), dec(bigger)).value(), None);
        EXPECT_EQ(volume_between_prices(book, Side::Bid, dec("0"), dec(big)).value(),
                  d(big));  // one level only
    }
}

}  // namespace
}  // namespace zelk
