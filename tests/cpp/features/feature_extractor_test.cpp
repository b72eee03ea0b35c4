#include "zelk/features/feature_extractor.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace zelk {
namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr Timestamp DAY = 86'400'000;

// Hand-assembles a compilation: derivations with their routes and cell
// counts, laid out in order, followed by the named context cells.
struct Layout {
    struct Entry {
        FeatureDerivation derivation;
        Route route;
        size_t cells;
    };
    std::vector<Entry> entries;
    std::vector<std::string> context_ids;
    size_t capacity = 0;  // 0: no reserved cells

    FeatureExtractor build() const {
        Compilation c;
        std::vector<Route> routes;
        size_t cell = 0;
        for (const auto& e : entries) {
            c.derivations.push_back(e.derivation);
            c.output_ranges.push_back({cell, e.cells});
            for (size_t i = 0; i < e.cells; ++i) {
                c.feature_ids.push_back("f" + std::to_string(cell + i));
                c.context_flags.push_back(false);
            }
            routes.push_back(e.route);
            cell += e.cells;
        }
        for (const auto& id : context_ids) {
            c.feature_ids.push_back(id);
            c.context_flags.push_back(true);
        }
        c.router = *EventRouter::from_routes(routes);
        const size_t active = c.feature_ids.size();
        auto vector = VecFeatureVector::new_of_length(std::max(capacity, active), active);
        return *FeatureExtractor::create(std::move(vector), std::move(c));
    }
};

std::vector<double> values(const FeatureExtractor& ex) {
    return {ex.vector().values().begin(), ex.vector().values().end()};
}
std::vector<uint8_t> mask(const FeatureExtractor& ex) {
    return {ex.update_mask().begin(), ex.update_mask().end()};
}
// Bitwise equality, so NaN cells compare equal to NaN.
void expect_same_values(const std::vector<double>& a, const std::vector<double>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::isnan(a[i])) {
            EXPECT_TRUE(std::isnan(b[i])) << "cell " << i;
        } else {
            EXPECT_EQ(a[i], b[i]) << "cell " << i;
        }
    }
}

class FeatureExtractorTest : public ::testing::Test {
protected:
    Symbol a = *intern("extractor-a");
    Symbol b = *intern("extractor-b");
};

TEST_F(FeatureExtractorTest, EveryCellStartsNaNIncludingReservedCells) {
    auto fresh = VecFeatureVector::new_of_length(5, 3);
    for (double v : fresh.values()) EXPECT_EQ(v, 0.0);

    Layout layout{{{FieldDerivation(SourceField::Price), {a, RouteKind::Price}, 1},
                   {DayOfWeekDerivation(), {Symbol::global(), RouteKind::Global}, 1}},
                  {"ctx"},
                  5};
    auto ex = layout.build();
    EXPECT_EQ(ex.capacity(), 5u);
    EXPECT_EQ(ex.active_length(), 3u);
    for (double v : ex.vector().values()) EXPECT_TRUE(std::isnan(v));
    for (uint8_t m : ex.update_mask()) EXPECT_EQ(m, 0);

    for (Timestamp t = 0; t < 5; ++t) ASSERT_TRUE(ex.handle_event(Event::price(a, t * DAY, 1.0)));
    ASSERT_TRUE(ex.update_context(std::vector<ContextUpdate>{{"ctx", 2.0}}));
    EXPECT_TRUE(std::isnan(ex.vector().values()[3]));
    EXPECT_TRUE(std::isnan(ex.vector().values()[4]));
}

TEST_F(FeatureExtractorTest, EqualTimestampsAcceptedEarlierRefusedWithNothingChanged) {
    Layout layout{{{FieldDerivation(SourceField::Price), {a, RouteKind::Price}, 1},
                   {DayOfWeekDerivation(), {Symbol::global(), RouteKind::Global}, 1}}};
    auto ex = layout.build();
    ASSERT_TRUE(ex.handle_event(Event::price(a, 1000, 1.0)));
    ASSERT_TRUE(ex.handle_event(Event::price(a, 1000, 2.0)));
    EXPECT_EQ(ex.vector().values()[0], 2.0);

    const auto before_values = values(ex);
    const auto before_mask = mask(ex);
    auto refused = ex.handle_event(Event::price(a, 999, 3.0));
    ASSERT_FALSE(refused);
    EXPECT_EQ(to_string(refused.error()),
              "timestamp 999 for price event for symbol extractor-a is earlier than previous "
              "timestamp 1000");
    expect_same_values(values(ex), before_values);
    EXPECT_EQ(mask(ex), before_mask);
    EXPECT_EQ(ex.last_timestamp(), 1000);
    EXPECT_EQ(ex.watermark(), 1000);

    // A refused non-finite event changes nothing either, mask included.
    auto non_finite = ex.handle_event(Event::price(a, 2000, NaN));
    ASSERT_FALSE(non_finite);
    EXPECT_EQ(to_string(non_finite.error()), "invalid argument: event price must be finite");
    EXPECT_EQ(mask(ex), before_mask);
    EXPECT_EQ(ex.last_timestamp(), 1000);
}

TEST_F(FeatureExtractorTest, TimeEventsAreOrderedOnTheGlobalSymbol) {
    Layout layout{{{DayOfWeekDerivation(), {Symbol::global(), RouteKind::Global}, 1}}};
    auto ex = layout.build();
    ASSERT_TRUE(ex.handle_event(Event::time(500)));
    ASSERT_TRUE(ex.handle_event(Event::price(a, 100, 1.0)));  // other symbol: no order
    auto refused = ex.handle_event(Event::time(499));
    ASSERT_FALSE(refused);
    EXPECT_EQ(to_string(refused.error()),
              "timestamp 499 for time event for symbol GLOBAL is earlier than previous timestamp "
              "500");
}

TEST_F(FeatureExtractorTest, GlobalDerivationKeepsItsValueOnOlderEventOfAnotherSymbol) {
    Layout layout{{{DayOfWeekDerivation(), {Symbol::global(), RouteKind::Global}, 1},
                   {FieldDerivation(SourceField::Price), {a, RouteKind::Price}, 1},
                   {FieldDerivation(SourceField::Price), {b, RouteKind::Price}, 1}}};
    auto ex = layout.build();
    const Timestamp friday = 1 * DAY;  // 1970-01-02
    ASSERT_TRUE(ex.handle_event(Event::price(a, friday, 10.0)));
    EXPECT_EQ(ex.vector().values()[0], 5.0);
    EXPECT_EQ(mask(ex), (std::vector<uint8_t>{1, 1, 0}));

    // Older event of b: b's own feature updates, the clock stays at Friday.
    ASSERT_TRUE(ex.handle_event(Event::price(b, 0, 20.0)));
    EXPECT_EQ(ex.vector().values()[0], 5.0);
    EXPECT_EQ(ex.vector().values()[2], 20.0);
    EXPECT_EQ(mask(ex), (std::vector<uint8_t>{0, 0, 1}));
    EXPECT_EQ(ex.watermark(), friday);

    // At the watermark the clock refreshes again.
    ASSERT_TRUE(ex.handle_event(Event::price(b, friday, 21.0)));
    EXPECT_EQ(mask(ex), (std::vector<uint8_t>{1, 0, 1}));
}

TEST_F(FeatureExtractorTest, UnwatchedSymbolClearsMaskAndAdvancesMarks) {
    const Symbol c = *intern("extractor-unwatched");
    Layout layout{{{FieldDerivation(SourceField::Price), {a, RouteKind::Price}, 1}}};
    auto ex = layout.build();
    ASSERT_TRUE(ex.handle_event(Event::price(a, 10, 1.0)));
    EXPECT_EQ(mask(ex), (std::vector<uint8_t>{1}));
    ASSERT_TRUE(ex.handle_event(Event::price(c, 50, 1.0)));
    EXPECT_EQ(mask(ex), (std::vector<uint8_t>{0}));
    EXPECT_EQ(ex.watermark(), 50);
    EXPECT_EQ(ex.last_timestamp(), 50);
    EXPECT_FALSE(ex.handle_event(Event::price(c, 49, 1.0)));
    EXPECT_TRUE(ex.handle_event(Event::price(a, 11, 1.0)));
    EXPECT_EQ(ex.last_timestamp(), 11);
}

TEST_F(FeatureExtractorTest, FieldDerivationReadsOnlyItsSourceKind) {
    Layout layout{{{FieldDerivation(SourceField::TradeVolume), {a, RouteKind::AnyMarketEvent}, 1},
                   {FieldDerivation(SourceField::Volume), {a, RouteKind::Volume}, 1}}};
    auto ex = layout.build();
    ASSERT_TRUE(ex.handle_event(Event::trade(a, 1, 100.0, 3.0)));
    EXPECT_EQ(ex.vector().values()[0], 3.0);
    ASSERT_TRUE(ex.handle_event(Event::volume(a, 2, 7.0)));
    EXPECT_EQ(ex.vector().values()[0], 3.0);  // never from Volume events
    EXPECT_EQ(ex.vector().values()[1], 7.0);
    EXPECT_EQ(mask(ex), (std::vector<uint8_t>{0, 1}));
}

TEST_F(FeatureExtractorTest, BookEventsPassThroughWithoutBookFeatures) {
    Layout layout{{{DayOfWeekDerivation(), {Symbol::global(), RouteKind::Global}, 1},
                   {FieldDerivation(SourceField::Price), {a, RouteKind::Price}, 1}}};
    auto ex = layout.build();
    ASSERT_TRUE(ex.handle_event(Event(OrderBookDeltaEvent{{{}, 1}, 0, a})));
    EXPECT_EQ(ex.vector().values()[0], 4.0);
    EXPECT_EQ(mask(ex), (std::vector<uint8_t>{1, 0}));
    EXPECT_EQ(ex.last_timestamp(), 0);
}

TEST_F(FeatureExtractorTest, BookEventWithBookFeatureButNoBookIsRefused) {
    Layout layout{{{DayOfWeekDerivation(), {Symbol::global(), RouteKind::Global}, 1},
                   {FieldDerivation(SourceField::Price), {a, RouteKind::OrderBook}, 1}}};
    auto ex = layout.build();
    auto refused = ex.handle_event(Event(OrderBookSnapshotEvent{{}, 5, a}));
    ASSERT_FALSE(refused);
    EXPECT_EQ(to_string(refused.error()), "no order book is configured for symbol extractor-a");
    EXPECT_FALSE(ex.last_timestamp().has_value());
    EXPECT_TRUE(std::isnan(ex.vector().values()[0]));
    // The other symbol's book events still pass.
    EXPECT_TRUE(ex.handle_event(Event(OrderBookSnapshotEvent{{}, 5, b})));
}

TEST_F(FeatureExtractorTest, SubscribersUpdateInAscendingDerivationOrder) {
    // Two derivations write the same cell range; the later index must win,
    // whichever route list delivered it.
    Compilation c;
    c.derivations = {FieldDerivation(SourceField::Price), FieldDerivation(SourceField::Price)};
    c.output_ranges = {{0, 1}, {0, 1}};
    c.feature_ids = {"x"};
    c.context_flags = {false};
    const Route routes[] = {{a, RouteKind::AnyMarketEvent}, {a, RouteKind::Price}};
    c.router = *EventRouter::from_routes(routes);
    const auto list = c.router.kind_subscribers(a, EventKind::Price);
    EXPECT_EQ(std::vector<uint16_t>(list.begin(), list.end()), (std::vector<uint16_t>{0, 1}));
}

TEST_F(FeatureExtractorTest, ContextUpdates) {
    Layout layout{{{FieldDerivation(SourceField::Price), {a, RouteKind::Price}, 1}},
                  {"ctx.a", "ctx.b"}};
    auto ex = layout.build();
    ASSERT_TRUE(ex.handle_event(Event::price(a, 1, 5.0)));
    const auto event_mask = mask(ex);

    struct Refusal {
        std::vector<ContextUpdate> batch;
        const char* error;
    };
    const Refusal refusals[] = {
        {{{"nope", 1.0}}, "context update 0: unknown feature ID"},
        {{{"ctx.a", 1.0}, {"f0", 1.0}}, "context update 1: target is not a context feature"},
        {{{"ctx.a", 1.0}, {"ctx.a", 2.0}}, "context update 1: duplicate feature ID"},
        {{{"ctx.b", NaN}}, "context update 0: context value must be finite or None"},
        {{{"ctx.b", std::numeric_limits<double>::infinity()}},
         "context update 0: context value must be finite or None"},
        {{{"ctx.a", 1.0}, {"nope", 1.0}}, "context update 1: unknown feature ID"},
        // Unknown outranks duplicate and non-finite for the same entry.
        {{{"ctx.a", 1.0}, {"CTX.A", NaN}}, "context update 1: unknown feature ID"},
    };
    for (const auto& r : refusals) {
        EXPECT_FALSE(ex.validate_context(r.batch));
        auto status = ex.update_context(r.batch);
        ASSERT_FALSE(status);
        EXPECT_EQ(to_string(status.error()), r.error);
        EXPECT_TRUE(std::isnan(ex.vector().values()[1])) << "nothing applied";
        EXPECT_EQ(mask(ex), event_mask);
    }

    // An empty batch keeps the previous event's mask.
    ASSERT_TRUE(ex.update_context({}));
    EXPECT_EQ(mask(ex), event_mask);

    // A valid batch clears the mask and sets no bits; no mark moves.
    ASSERT_TRUE(ex.update_context(std::vector<ContextUpdate>{{"ctx.b", 3.5}, {"ctx.a", -1.0}}));
    EXPECT_EQ(ex.vector().values()[1], -1.0);
    EXPECT_EQ(ex.vector().values()[2], 3.5);
    EXPECT_EQ(mask(ex), (std::vector<uint8_t>{0, 0, 0}));
    EXPECT_EQ(ex.last_timestamp(), 1);

    // An absent value clears the cell to NaN.
    ASSERT_TRUE(ex.update_context(std::vector<ContextUpdate>{{"ctx.a", std::nullopt}}));
    EXPECT_TRUE(std::isnan(ex.vector().values()[1]));
    EXPECT_EQ(ex.vector().values()[2], 3.5);
}

TEST(EventRouter, ListsPerKindAnyMarketEventAndBookList) {
    const Symbol s1{1}, s3{3};
    const Route routes[] = {
        {s3, RouteKind::Trade},          {Symbol::global(), RouteKind::Global},
        {s1, RouteKind::AnyMarketEvent}, {s3, RouteKind::OrderBook},
        {s3, RouteKind::AnyMarketEvent}, {s1, RouteKind::Global},
    };
    auto router = EventRouter::from_routes(routes);
    ASSERT_TRUE(router);
    auto as_vec = [](std::span<const uint16_t> s) { return std::vector<uint16_t>(s.begin(), s.end()); };
    EXPECT_EQ(as_vec(router->kind_subscribers(s3, EventKind::Trade)), (std::vector<uint16_t>{0, 4}));
    EXPECT_EQ(as_vec(router->kind_subscribers(s3, EventKind::Price)), (std::vector<uint16_t>{4}));
    EXPECT_EQ(as_vec(router->kind_subscribers(s1, EventKind::Time)), (std::vector<uint16_t>{2}));
    EXPECT_EQ(as_vec(router->book_subscribers(s3)), (std::vector<uint16_t>{3}));
    EXPECT_TRUE(router->book_subscribers(s1).empty());
    EXPECT_EQ(as_vec(router->global_subscribers()), (std::vector<uint16_t>{1, 5}));
    EXPECT_TRUE(router->kind_subscribers(Symbol{2}, EventKind::Price).empty());
    EXPECT_TRUE(router->kind_subscribers(Symbol{400}, EventKind::Price).empty());
    EXPECT_EQ(router->routed_symbol_count(), 2u);
}

TEST(EventRouter, SixteenBitLimits) {
    struct Case {
        std::vector<Route> routes;
        const char* error;
    };
    const Symbol s{1};
    const Case cases[] = {
        {std::vector<Route>(65537, {s, RouteKind::Price}),
         "invalid argument: runtime feature count 65537 exceeds limit 65535"},
        {std::vector<Route>(65536, {s, RouteKind::Price}),
         "invalid argument: subscriber group count 65536 exceeds limit 65535"},
        // Six lists of 12000 each: the book list would start at 72000.
        {std::vector<Route>(12000, {s, RouteKind::AnyMarketEvent}),
         "invalid argument: subscriber count 72000 exceeds limit 65535"},
    };
    for (const auto& c : cases) {
        auto router = EventRouter::from_routes(c.routes);
        ASSERT_FALSE(router);
        EXPECT_EQ(to_string(router.error()), c.error);
    }
    // 65535 subscribers in one list and 65536 global routes are accepted.
    EXPECT_TRUE(EventRouter::from_routes(std::vector<Route>(65535, {s, RouteKind::Price})));
    EXPECT_FALSE(EventRouter::from_routes(std::vector<Route>(65536, {s, RouteKind::Global})));
}

}  // namespace
}  // namespace zelk
