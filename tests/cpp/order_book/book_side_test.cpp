// Book sides in both forms: grid validation, the dense index and occupied
// range, allocation failure as a value, and the shared level behaviour.
#include "zelk/order_book/book_side.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <random>
#include <string>

#include "tests/cpp/order_book/book_test_support.hpp"
#include "zelk/error.hpp"

namespace zelk {
namespace {

using testing::dec;
using testing::lvl;

DenseBookConfig grid(std::string_view tick, std::string_view min, std::string_view max) {
    return DenseBookConfig{dec(tick), dec(min), dec(max)};
}

std::string message(const OrderBookUpdateError& error) { return to_string(ZelkError{error}); }

TEST(DenseBookConfig, LevelCountValidatesTheGrid) {
    struct Case {
        const char* tick;
        const char* min;
        const char* max;
        std::optional<uint64_t> count;  // none: the grid is invalid
    };
    const Case cases[] = {
        {"1", "5", "5", 1},
        {"0.01", "0", "1", 101},
        {"0.5", "100", "101", 3},
        {"0.50", "100.0", "101.000", 3},
        {"0", "0", "1", std::nullopt},
        {"-0.5", "0", "1", std::nullopt},
        {"1", "-1", "5", std::nullopt},
        {"1", "5", "4", std::nullopt},
        {"0.5", "100.25", "101", std::nullopt},  // min off the tick
        {"0.5", "100", "100.75", std::nullopt},  // max off the tick
        // 10^20 steps do not fit 64 bits.
        {"0.0000000001", "0", "10000000000", std::nullopt},
        // Ten steps, but max - tick needs 29 digits, so the top of the grid
        // cannot be resolved.
        {"0.0000000001", "9999999999999999999.999999999", "10000000000000000000", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.tick) + " [" + c.min + ", " + c.max + "]");
        const auto count = grid(c.tick, c.min, c.max).level_count();
        if (c.count) {
            ASSERT_TRUE(count.has_value()) << message(count.error());
            EXPECT_EQ(*count, *c.count);
        } else {
            ASSERT_FALSE(count.has_value());
            const std::string expected = std::string("order-book update failed: ") +
                                         "invalid dense order-book grid: tick " + c.tick +
                                         ", range [" + c.min + ", " + c.max + "]";
            EXPECT_EQ(message(count.error()), expected);
        }
    }
}

TEST(DenseBookSide, HugeGridIsReportedNotAllocated) {
    // 10^18 + 1 and 10^19 + 1 prices: far beyond any memory, the second also
    // beyond what 16-byte entries can address.
    for (const auto& config : {grid("0.000001", "0", "1000000000000"),
                               grid("0.0000000001", "0", "1000000000")}) {
        const auto side = DenseBookSide::create(Side::Bid, config);
        ASSERT_FALSE(side.has_value());
        EXPECT_EQ(side.error(), OrderBookUpdateError{DenseCapacityExceeded{}});
        EXPECT_EQ(message(side.error()),
                  "order-book update failed: dense order-book price range cannot be allocated");

        const auto book = OrderBookConfig{16, config, UpdatePolicy::Contiguous}.build();
        ASSERT_FALSE(book.has_value());
        EXPECT_EQ(book.error(), OrderBookUpdateError{DenseCapacityExceeded{}});
    }
    const auto invalid = OrderBookConfig{16, grid("0", "0", "1"), UpdatePolicy::Monotonic}.build();
    ASSERT_FALSE(invalid.has_value());
    EXPECT_TRUE(std::holds_alternative<InvalidDenseConfiguration>(invalid.error().value));
}

TEST(DenseBookSide, IndexOfGridPrices) {
    const auto side = DenseBookSide::create(Side::Ask, grid("0.5", "100", "110")).value();
    ASSERT_EQ(side.level_count(), 21u);
    const std::pair<const char*, std::optional<size_t>> cases[] = {
        {"100", 0},
        {"100.000000", 0},
        {"100.50", 1},
        {"100.5", 1},
        {"100.5000000000000000000000000", 1},  // coefficient beyond 64 bits
        {"100.25", std::nullopt},
        {"100.0000000000000000000000001", std::nullopt},
        {"110", 20},
        {"110.5", std::nullopt},
        {"99.5", std::nullopt},
        {"0", std::nullopt},
        {"-100", std::nullopt},
        {"79228162514264337593543950335", std::nullopt},
    };
    for (const auto& [price, expected] : cases) {
        SCOPED_TRACE(price);
        EXPECT_EQ(side.index(dec(price)), expected);
    }
    const auto from_zero = DenseBookSide::create(Side::Bid, grid("0.01", "0", "1")).value();
    EXPECT_EQ(from_zero.index(dec("-0")), 0u);
    EXPECT_EQ(from_zero.index(dec("0.00")), 0u);
    EXPECT_EQ(from_zero.index(dec("-0.01")), std::nullopt);
    EXPECT_EQ(from_zero.index(dec("1")), 100u);
    // A price with 20 fewer fraction digits than the grid.
    const auto fine = DenseBookSide::create(
                          Side::Ask, grid("0.00000000000000000001", "0", "0.00000000000000001"))
                          .value();
    EXPECT_EQ(fine.level_count(), 1001u);
    EXPECT_EQ(fine.index(dec("0")), 0u);
    EXPECT_EQ(fine.index(dec("-0")), 0u);
    EXPECT_EQ(fine.index(dec("1")), std::nullopt);
    EXPECT_EQ(fine.index(dec("0.00000000000000000999")), 999u);
}

// The index as the grid arithmetic defines it, computed with decimals.
std::optional<size_t> reference_index(const DenseBookConfig& g, uint64_t count,
                                      const ExactDecimal& price) {
    if (price < g.min_price || price > g.max_price) return std::nullopt;
    const auto rem = price.checked_rem(g.tick_size);
    if (!rem || !rem->is_zero()) return std::nullopt;
    const auto i = price.checked_sub(g.min_price)
                       .and_then([&](const ExactDecimal& d) { return d.checked_div(g.tick_size); })
                       .and_then([](const ExactDecimal& q) { return q.to_u64(); });
    if (!i || *i >= count) return std::nullopt;
    return static_cast<size_t>(*i);
}

TEST(DenseBookSide, IndexAndGridPricesAgreeWithDecimalArithmetic) {
    // The last grid has a tick too coarse for 64-bit offsets in units.
    const DenseBookConfig grids[] = {
        grid("0.25", "0.75", "30"),
        grid("5", "10", "1000"),
        grid("0.001", "1.5", "2.5"),
        grid("0.010", "0.00", "3"),
        grid("100000000000000000000", "0", "1000000000000000000000"),
    };
    std::mt19937_64 rng(7);
    for (const DenseBookConfig& g : grids) {
        SCOPED_TRACE(g.tick_size.to_string());
        const uint64_t count = g.level_count().value();
        const auto side = DenseBookSide::create(Side::Bid, g).value();
        ASSERT_EQ(side.level_count(), count);
        for (size_t i = 0; i < count; ++i) {
            const auto expected = g.min_price.checked_add(
                *g.tick_size.checked_mul(ExactDecimal::from_integer(static_cast<int64_t>(i))));
            ASSERT_EQ(side.level_at(i).price, *expected) << i;
            ASSERT_EQ(side.index(side.level_at(i).price), i);
        }
        // Random prices around the grid, at various scales, most of them off it.
        const double top = g.max_price.to_f64() * 1.1 + 1;
        for (int n = 0; n < 2000; ++n) {
            const uint32_t scale = static_cast<uint32_t>(rng() % 5);
            const double units = static_cast<double>(rng() % 1000000) / 1000000.0 * top;
            const auto coefficient = static_cast<u128>(units * std::pow(10.0, scale));
            const ExactDecimal price = *ExactDecimal::from_parts(coefficient, scale, false);
            ASSERT_EQ(side.index(price), reference_index(g, count, price)) << price.to_string();
        }
    }
}

TEST(DenseBookSide, OccupiedRangeStaysTight) {
    auto asks = DenseBookSide::create(Side::Ask, grid("1", "100", "110")).value();
    EXPECT_EQ(asks.occupied_range(), std::nullopt);
    EXPECT_EQ(asks.best(), std::nullopt);
    asks.update_level(dec("103"), dec("1"));
    asks.update_level(dec("107"), dec("2"));
    EXPECT_EQ(asks.best(), lvl("103", "1"));
    EXPECT_EQ(asks.occupied_range(), (std::pair<size_t, size_t>{3, 7}));
    asks.update_level(dec("103"), dec("0"));
    EXPECT_EQ(asks.best(), lvl("107", "2"));
    EXPECT_EQ(asks.occupied_range(), (std::pair<size_t, size_t>{7, 7}));
    asks.update_level(dec("107"), dec("0"));
    EXPECT_EQ(asks.occupied_range(), std::nullopt);
    EXPECT_EQ(asks.best(), std::nullopt);

    // Removing the top bid pulls hi down past the empty prices.
    auto bids = DenseBookSide::create(Side::Bid, grid("1", "100", "110")).value();
    for (const char* price : {"101", "102", "109"}) bids.update_level(dec(price), dec("1"));
    EXPECT_EQ(bids.best(), lvl("109", "1"));
    bids.update_level(dec("109"), dec("0"));
    EXPECT_EQ(bids.occupied_range(), (std::pair<size_t, size_t>{1, 2}));
    EXPECT_EQ(bids.best(), lvl("102", "1"));
    // Removing an absent price inside or outside the range changes nothing.
    bids.update_level(dec("105"), dec("0"));
    bids.update_level(dec("100"), dec("0"));
    EXPECT_EQ(bids.occupied_range(), (std::pair<size_t, size_t>{1, 2}));
    bids.clear();
    EXPECT_EQ(bids.occupied_range(), std::nullopt);
    EXPECT_EQ(bids.level_at(1), lvl("101", "0"));
}

TEST(DenseBookSideDeathTest, OffGridMutationStopsTheProcess) {
    auto side = DenseBookSide::create(Side::Bid, grid("1", "100", "110")).value();
    EXPECT_DEATH(side.update_level(dec("100.5"), dec("1")),
                 "dense level must be validated before mutation");
}

// Both forms, built over a grid that holds every price the tests use.
std::vector<BookSide> both_forms(Side side) {
    std::vector<BookSide> sides;
    sides.push_back(BookSide::sparse(side));
    sides.push_back(BookSide::dense(side, grid("0.5", "0", "200")).value());
    return sides;
}

std::vector<Level> best_first(const BookSide& side) {
    std::vector<Level> levels;
    side.for_each_level([&](const Level& l) {
        levels.push_back(l);
        return true;
    });
    return levels;
}

TEST(BookSide, IterationIsBestFirstOnBothSides) {
    for (Side s : {Side::Bid, Side::Ask}) {
        for (BookSide& side : both_forms(s)) {
            SCOPED_TRACE(std::string(debug_name(s)) + (side.is_dense() ? " dense" : " sparse"));
            side.update_level(dec("99"), dec("1"));
            side.update_level(dec("101"), dec("2"));
            side.update_level(dec("100"), dec("3"));
            const std::vector<Level> expected =
                s == Side::Bid ? std::vector{lvl("101", "2"), lvl("100", "3"), lvl("99", "1")}
                               : std::vector{lvl("99", "1"), lvl("100", "3"), lvl("101", "2")};
            EXPECT_EQ(best_first(side), expected);
            EXPECT_EQ(side.best(), expected.front());
            EXPECT_EQ(side.size_at(dec("100.00")), dec("3"));
            EXPECT_EQ(side.size_at(dec("98")), std::nullopt);
        }
    }
}

TEST(BookSide, EveryZeroSpellingRemovesALevel) {
    for (const char* zero : {"0", "0.00", "-0"}) {
        for (BookSide& side : both_forms(Side::Bid)) {
            SCOPED_TRACE(std::string(zero) + (side.is_dense() ? " dense" : " sparse"));
            side.update_level(dec("100"), dec("5"));
            side.update_level(dec("99.5"), dec("1"));
            side.update_level(dec("100"), dec(zero));
            EXPECT_EQ(best_first(side), std::vector{lvl("99.5", "1")});
            side.update_level(dec("42"), dec(zero));  // absent: nothing to remove
            EXPECT_EQ(best_first(side), std::vector{lvl("99.5", "1")});
        }
    }
}

TEST(BookSide, SnapshotsReplaceTheSideInListOrder) {
    struct Case {
        const char* name;
        std::vector<Level> snapshot;
        std::vector<Level> bids_best_first;
    };
    const Case cases[] = {
        {"best first", {lvl("101", "1"), lvl("100", "2"), lvl("99", "3")},
         {lvl("101", "1"), lvl("100", "2"), lvl("99", "3")}},
        {"worst first", {lvl("99", "3"), lvl("100", "2"), lvl("101", "1")},
         {lvl("101", "1"), lvl("100", "2"), lvl("99", "3")}},
        {"unordered", {lvl("100", "2"), lvl("99", "3"), lvl("101", "1")},
         {lvl("101", "1"), lvl("100", "2"), lvl("99", "3")}},
        {"repeated price keeps the later size",
         {lvl("100", "2"), lvl("99", "3"), lvl("100.0", "7")},
         {lvl("100", "7"), lvl("99", "3")}},
        {"later zero removes", {lvl("100", "2"), lvl("99", "3"), lvl("100", "0")},
         {lvl("99", "3")}},
        {"zero then size", {lvl("100", "0"), lvl("100", "4")}, {lvl("100", "4")}},
        {"all zero", {lvl("100", "0"), lvl("99", "0.00")}, {}},
        {"empty", {}, {}},
    };
    for (const Case& c : cases) {
        for (BookSide& side : both_forms(Side::Bid)) {
            SCOPED_TRACE(std::string(c.name) + (side.is_dense() ? " dense" : " sparse"));
            side.update_level(dec("150"), dec("9"));  // replaced by every snapshot
            side.apply_snapshot(std::vector<Level>(c.snapshot));
            EXPECT_EQ(best_first(side), c.bids_best_first);
        }
    }
    // Asks given best first (ascending) come out ascending.
    for (BookSide& side : both_forms(Side::Ask)) {
        side.apply_snapshot({lvl("100", "1"), lvl("100.5", "2"), lvl("101", "3")});
        EXPECT_EQ(best_first(side),
                  (std::vector{lvl("100", "1"), lvl("100.5", "2"), lvl("101", "3")}));
    }
}

TEST(SparseBookSide, EqualPriceKeepsItsStoredText) {
    SparseBookSide side(Side::Ask);
    side.update_level(dec("100.50"), dec("1"));
    side.update_level(dec("100.5"), dec("2"));
    ASSERT_EQ(side.size(), 1u);
    EXPECT_EQ(side.best()->price.to_string(), "100.50");
    EXPECT_EQ(side.best()->size.to_string(), "2");
}

}  // namespace
}  // namespace zelk
