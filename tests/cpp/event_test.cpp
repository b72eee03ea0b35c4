#include "zelk/event.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace zelk {
namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double INF = std::numeric_limits<double>::infinity();

TEST(Event, AccessorsForEveryKind) {
    const Symbol s{3};
    EXPECT_EQ(Event::price(s, 10, 1.0).kind(), EventKind::Price);
    EXPECT_EQ(Event::volume(s, 11, 1.0).kind(), EventKind::Volume);
    EXPECT_EQ(Event::trade(s, 12, 1.0, 2.0).kind(), EventKind::Trade);
    EXPECT_EQ(Event(OrderBookDeltaEvent{{}, 13, s}).kind(), EventKind::OrderBookDelta);
    EXPECT_EQ(Event(OrderBookSnapshotEvent{{}, 14, s}).kind(), EventKind::OrderBookSnapshot);
    const Event tick = Event::time(-7);
    EXPECT_EQ(tick.kind(), EventKind::Time);
    EXPECT_EQ(tick.timestamp(), -7);
    EXPECT_EQ(tick.symbol(), Symbol::global());
    EXPECT_EQ(Event::trade(s, 12, 1.0, 2.0).symbol(), s);
    EXPECT_EQ(Event(OrderBookSnapshotEvent{{}, 14, s}).timestamp(), 14);
}

TEST(Event, FiniteValueValidationInOrder) {
    const Symbol s{1};
    struct Case {
        Event event;
        const char* error;  // nullptr: valid
    };
    const Case cases[] = {
        {Event::price(s, 0, 0.0), nullptr},
        {Event::price(s, 0, -1.5), nullptr},
        {Event::price(s, 0, NaN), "invalid argument: event price must be finite"},
        {Event::price(s, 0, -INF), "invalid argument: event price must be finite"},
        {Event::volume(s, 0, INF), "invalid argument: event volume must be finite"},
        {Event::trade(s, 0, INF, INF), "invalid argument: event trade price must be finite"},
        {Event::trade(s, 0, 1.0, NaN), "invalid argument: event trade volume must be finite"},
        {Event::trade(s, 0, -3.0, 0.0, AggressorSide::Sell), nullptr},
        {Event::time(0), nullptr},
        {Event(OrderBookDeltaEvent{{}, 0, s}), nullptr},
    };
    for (const auto& c : cases) {
        const auto status = c.event.validate_finite_values();
        if (c.error == nullptr) {
            EXPECT_TRUE(status.has_value());
        } else {
            ASSERT_FALSE(status.has_value());
            EXPECT_EQ(to_string(status.error()), c.error);
        }
    }
}

TEST(Event, IntoOrderBookUpdateMovesThePayload) {
    OrderBookDelta delta;
    delta.update_id = 42;
    delta.changes.push_back(LevelChange{ExactDecimal::from_integer(100),
                                        ExactDecimal::from_integer(2), Side::Bid});
    Event event(OrderBookDeltaEvent{std::move(delta), 5, Symbol{1}});
    auto update = event.into_order_book_update();
    ASSERT_TRUE(update.has_value());
    const auto& moved = std::get<OrderBookDelta>(*update);
    EXPECT_EQ(moved.update_id, 42u);
    ASSERT_EQ(moved.changes.size(), 1u);
    EXPECT_EQ(moved.changes[0].side, Side::Bid);

    Event snapshot(OrderBookSnapshotEvent{OrderBookSnapshot{{}, {}, 7}, 5, Symbol{1}});
    auto snapshot_update = snapshot.into_order_book_update();
    ASSERT_TRUE(snapshot_update.has_value());
    EXPECT_EQ(std::get<OrderBookSnapshot>(*snapshot_update).update_id, 7u);

    Event price = Event::price(Symbol{1}, 0, 1.0);
    EXPECT_FALSE(price.into_order_book_update().has_value());
}

}  // namespace
}  // namespace zelk
