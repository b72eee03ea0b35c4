// The order-book update protocol: sequencing, buffering, resynchronisation
// and every refusal, each step checked for outcome or full error text, state,
// update IDs, retained history and the levels of both sides.
#include "zelk/order_book/book.hpp"

#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "tests/cpp/order_book/book_test_support.hpp"
#include "zelk/error.hpp"

namespace zelk {
namespace {

using namespace zelk::testing;

using Expected = std::variant<UpdateOutcome, std::string>;  // outcome, or the full error text

struct Step {
    OrderBookUpdate update;
    Expected result;
    SyncState state;
    std::optional<uint64_t> last_update_id;
    std::optional<uint64_t> snapshot_update_id;
    std::vector<uint64_t> history;
    std::vector<Level> bids;  // best first
    std::vector<Level> asks;  // best first
};

struct Scenario {
    const char* name;
    size_t buffer_size;
    UpdatePolicy policy;
    std::vector<Step> steps;
};

constexpr auto Applied = UpdateOutcome::Applied;
constexpr auto Buffered = UpdateOutcome::Buffered;
constexpr auto Ignored = UpdateOutcome::Ignored;
constexpr auto Resynchronized = UpdateOutcome::Resynchronized;
constexpr auto Awaiting = SyncState::AwaitingSnapshot;
constexpr auto Synced = SyncState::Synchronized;
constexpr auto Resyncing = SyncState::Resynchronizing;
constexpr auto None = std::nullopt;

std::vector<uint64_t> history_ids(const OrderBook& book) {
    std::vector<uint64_t> ids;
    for (size_t i = 0; i < book.history().size(); ++i) ids.push_back(book.history()[i].update_id);
    return ids;
}

void run(const Scenario& scenario, OrderBook book) {
    for (size_t i = 0; i < scenario.steps.size(); ++i) {
        const Step& step = scenario.steps[i];
        SCOPED_TRACE("step " + std::to_string(i + 1));
        OrderBookUpdate update = step.update;
        const auto outcome = apply(book, std::move(update));
        if (const auto* expected = std::get_if<UpdateOutcome>(&step.result)) {
            ASSERT_TRUE(outcome.has_value()) << to_string(ZelkError{outcome.error()});
            EXPECT_EQ(*outcome, *expected);
        } else {
            ASSERT_FALSE(outcome.has_value());
            EXPECT_EQ(to_string(ZelkError{outcome.error()}), std::get<std::string>(step.result));
        }
        EXPECT_EQ(book.state(), step.state);
        EXPECT_EQ(book.last_update_id(), step.last_update_id);
        EXPECT_EQ(book.snapshot_update_id(), step.snapshot_update_id);
        EXPECT_EQ(history_ids(book), step.history);
        EXPECT_EQ(levels_of(book, Side::Bid), step.bids);
        EXPECT_EQ(levels_of(book, Side::Ask), step.asks);
    }
}

// Every scenario runs on a sparse book and on a dense one whose grid holds
// every price used, so the protocol cannot depend on the storage form.
void run_on_both_forms(const std::vector<Scenario>& scenarios) {
    for (const Scenario& s : scenarios) {
        SCOPED_TRACE(std::string(s.name) + ", sparse");
        run(s, sparse_book(s.buffer_size, s.policy));
        SCOPED_TRACE("dense");
        run(s, dense_book(s.buffer_size, s.policy, "0.5", "0", "1000"));
    }
}

TEST(OrderBookProtocol, SequencingAndResynchronisation) {
    const std::vector<Scenario> scenarios = {
        {"deltas before the first snapshot are replayed by it", 16, UpdatePolicy::Contiguous,
         {
             {delta(5, {bid("100", "1")}), Buffered, Awaiting, None, None, {5}, {}, {}},
             {delta(6, {bid("101", "2"), ask("102", "3")}), Buffered, Awaiting, None, None,
              {5, 6}, {}, {}},
             {snapshot(5, {lvl("100", "4"), lvl("99", "1")}, {lvl("103", "1")}), Applied, Synced,
              6, 5, {6},
              {lvl("101", "2"), lvl("100", "4"), lvl("99", "1")},
              {lvl("102", "3"), lvl("103", "1")}},
             {delta(7, {ask("102", "0")}), Applied, Synced, 7, 5, {6, 7},
              {lvl("101", "2"), lvl("100", "4"), lvl("99", "1")}, {lvl("103", "1")}},
         }},
        {"a snapshot the retained deltas do not continue is refused", 16,
         UpdatePolicy::Contiguous,
         {
             {delta(5, {bid("100", "1")}), Buffered, Awaiting, None, None, {5}, {}, {}},
             {delta(6, {bid("100", "2")}), Buffered, Awaiting, None, None, {5, 6}, {}, {}},
             {snapshot(3, {lvl("90", "1")}),
              "order-book update failed: snapshot 3 requires update ID 4, received 5", Awaiting,
              None, None, {5, 6}, {}, {}},
             {snapshot(4, {lvl("90", "1")}), Applied, Synced, 6, 4, {5, 6},
              {lvl("100", "2"), lvl("90", "1")}, {}},
         }},
        {"a gap while synchronised stops applying until a snapshot bridges it", 16,
         UpdatePolicy::Contiguous,
         {
             {snapshot(10, {lvl("100", "1")}, {lvl("101", "1")}), Applied, Synced, 10, 10, {},
              {lvl("100", "1")}, {lvl("101", "1")}},
             {delta(12, {bid("100", "5")}),
              "order-book update failed: expected update ID 11, received 12", Resyncing, 10, 10,
              {12}, {lvl("100", "1")}, {lvl("101", "1")}},
             {delta(13, {ask("101", "0"), ask("102", "2")}), Buffered, Resyncing, 10, 10, {12, 13},
              {lvl("100", "1")}, {lvl("101", "1")}},
             {snapshot(11, {lvl("100", "2")}, {lvl("101", "3")}), Resynchronized, Synced, 13, 11,
              {12, 13}, {lvl("100", "5")}, {lvl("102", "2")}},
             {delta(14, {bid("99", "1")}), Applied, Synced, 14, 11, {12, 13, 14},
              {lvl("100", "5"), lvl("99", "1")}, {lvl("102", "2")}},
         }},
        {"a gap while resynchronising is kept and must be bridged too", 16,
         UpdatePolicy::Contiguous,
         {
             {snapshot(10, {lvl("100", "1")}), Applied, Synced, 10, 10, {}, {lvl("100", "1")}, {}},
             {delta(12, {bid("100", "5")}),
              "order-book update failed: expected update ID 11, received 12", Resyncing, 10, 10,
              {12}, {lvl("100", "1")}, {}},
             {delta(15, {bid("98", "1")}),
              "order-book update failed: expected update ID 13, received 15", Resyncing, 10, 10,
              {12, 15}, {lvl("100", "1")}, {}},
             {snapshot(11, {lvl("100", "2")}),
              "order-book update failed: snapshot 11 requires update ID 13, received 15",
              Resyncing, 10, 10, {12, 15}, {lvl("100", "1")}, {}},
             {snapshot(14, {lvl("100", "3")}), Resynchronized, Synced, 15, 14, {15},
              {lvl("100", "3"), lvl("98", "1")}, {}},
         }},
        {"a gap before the first snapshot keeps the state", 16, UpdatePolicy::Contiguous,
         {
             {delta(5, {bid("100", "1")}), Buffered, Awaiting, None, None, {5}, {}, {}},
             {delta(7, {bid("101", "1")}),
              "order-book update failed: expected update ID 6, received 7", Awaiting, None, None,
              {5, 7}, {}, {}},
             {snapshot(6), Applied, Synced, 7, 6, {7}, {lvl("101", "1")}, {}},
         }},
        {"monotonic books accept gaps and ignore what is not newer", 16,
         UpdatePolicy::Monotonic,
         {
             {snapshot(10, {lvl("100", "1")}), Applied, Synced, 10, 10, {}, {lvl("100", "1")}, {}},
             {delta(15, {bid("101", "1")}), Applied, Synced, 15, 10, {15},
              {lvl("101", "1"), lvl("100", "1")}, {}},
             {delta(12, {bid("1", "1")}), Ignored, Synced, 15, 10, {15},
              {lvl("101", "1"), lvl("100", "1")}, {}},
             {delta(15, {bid("2", "1")}), Ignored, Synced, 15, 10, {15},
              {lvl("101", "1"), lvl("100", "1")}, {}},
             // Monotonic snapshots need no connection to the history.
             {snapshot(11, {lvl("50", "1")}), Applied, Synced, 15, 11, {15},
              {lvl("101", "1"), lvl("50", "1")}, {}},
         }},
        {"stale snapshots are refused, older-than-deltas ones accepted", 16,
         UpdatePolicy::Contiguous,
         {
             {snapshot(10, {lvl("100", "1")}), Applied, Synced, 10, 10, {}, {lvl("100", "1")}, {}},
             {snapshot(10, {lvl("90", "1")}),
              "order-book update failed: snapshot 10 is not newer than current snapshot 10",
              Synced, 10, 10, {}, {lvl("100", "1")}, {}},
             {snapshot(9, {lvl("90", "1")}),
              "order-book update failed: snapshot 9 is not newer than current snapshot 10", Synced,
              10, 10, {}, {lvl("100", "1")}, {}},
             {delta(11, {bid("101", "1")}), Applied, Synced, 11, 10, {11},
              {lvl("101", "1"), lvl("100", "1")}, {}},
             {delta(12, {ask("105", "1")}), Applied, Synced, 12, 10, {11, 12},
              {lvl("101", "1"), lvl("100", "1")}, {lvl("105", "1")}},
             {snapshot(11, {lvl("95", "1")}), Applied, Synced, 12, 11, {12}, {lvl("95", "1")},
              {lvl("105", "1")}},
         }},
        {"a full history refuses new deltas until a snapshot", 2, UpdatePolicy::Contiguous,
         {
             {snapshot(1, {lvl("100", "1")}), Applied, Synced, 1, 1, {}, {lvl("100", "1")}, {}},
             {delta(2, {bid("100", "2")}), Applied, Synced, 2, 1, {2}, {lvl("100", "2")}, {}},
             {delta(3, {bid("100", "3")}), Applied, Synced, 3, 1, {2, 3}, {lvl("100", "3")}, {}},
             {delta(4, {bid("100", "4")}),
              "order-book update failed: order-book update buffer capacity 2 was exceeded",
              Resyncing, 3, 1, {2, 3}, {lvl("100", "3")}, {}},
             // A gap on a full history reports the capacity, not the gap.
             {delta(6, {bid("100", "6")}),
              "order-book update failed: order-book update buffer capacity 2 was exceeded",
              Resyncing, 3, 1, {2, 3}, {lvl("100", "3")}, {}},
             {delta(3), Ignored, Resyncing, 3, 1, {2, 3}, {lvl("100", "3")}, {}},
             {snapshot(3, {lvl("99", "1")}), Resynchronized, Synced, 3, 3, {}, {lvl("99", "1")},
              {}},
             {delta(4, {bid("100", "4")}), Applied, Synced, 4, 3, {4},
              {lvl("100", "4"), lvl("99", "1")}, {}},
         }},
        {"with no history room no delta is ever applied", 0, UpdatePolicy::Monotonic,
         {
             {delta(1, {bid("100", "1")}),
              "order-book update failed: order-book update buffer capacity 0 was exceeded",
              Resyncing, None, None, {}, {}, {}},
             {snapshot(1, {lvl("100", "1")}), Resynchronized, Synced, 1, 1, {}, {lvl("100", "1")},
              {}},
             {delta(2, {bid("100", "2")}),
              "order-book update failed: order-book update buffer capacity 0 was exceeded",
              Resyncing, 1, 1, {}, {lvl("100", "1")}, {}},
         }},
        {"an invalid level refuses the whole update", 16, UpdatePolicy::Contiguous,
         {
             {snapshot(1, {lvl("100", "1")}), Applied, Synced, 1, 1, {}, {lvl("100", "1")}, {}},
             {delta(2, {bid("99", "5"), bid("98", "-1")}),
              "order-book update failed: invalid Bid level update with price 98 and size -1",
              Synced, 1, 1, {}, {lvl("100", "1")}, {}},
             {delta(2, {ask("101", "1"), bid("-1", "1")}),
              "order-book update failed: invalid Bid level update with price -1 and size 1",
              Synced, 1, 1, {}, {lvl("100", "1")}, {}},
             {snapshot(5, {lvl("100", "1")}, {lvl("101", "1"), lvl("102.50", "-2.0")}),
              "order-book update failed: invalid Ask level update with price 102.50 and size -2.0",
              Synced, 1, 1, {}, {lvl("100", "1")}, {}},
             {delta(2, {ask("101", "1")}), Applied, Synced, 2, 1, {2}, {lvl("100", "1")},
              {lvl("101", "1")}},
         }},
        {"empty deltas and zero sizes", 16, UpdatePolicy::Contiguous,
         {
             {snapshot(1, {lvl("100", "0"), lvl("99", "1")}), Applied, Synced, 1, 1, {},
              {lvl("99", "1")}, {}},
             {delta(2), Applied, Synced, 2, 1, {2}, {lvl("99", "1")}, {}},
             {delta(3, {ask("150", "0")}), Applied, Synced, 3, 1, {2, 3}, {lvl("99", "1")}, {}},
         }},
    };
    run_on_both_forms(scenarios);
}

TEST(OrderBookProtocol, DenseBooksRefuseOffGridPrices) {
    const Scenario scenario = {
        "off grid", 16, UpdatePolicy::Contiguous,
        {
            {snapshot(1, {lvl("100", "1")}), Applied, Synced, 1, 1, {}, {lvl("100", "1")}, {}},
            {delta(2, {ask("100.25", "1")}),
             "order-book update failed: invalid Ask level update with price 100.25 and size 1",
             Synced, 1, 1, {}, {lvl("100", "1")}, {}},
            {delta(2, {bid("1000.5", "1")}),
             "order-book update failed: invalid Bid level update with price 1000.5 and size 1",
             Synced, 1, 1, {}, {lvl("100", "1")}, {}},
            {snapshot(2, {lvl("99.9", "1")}),
             "order-book update failed: invalid Bid level update with price 99.9 and size 1",
             Synced, 1, 1, {}, {lvl("100", "1")}, {}},
        }};
    run(scenario, dense_book(16, UpdatePolicy::Contiguous, "0.5", "0", "1000"));
}

TEST(OrderBookProtocol, PreparedDecisionsNameTheirAction) {
    OrderBook book = sparse_book(2, UpdatePolicy::Contiguous);
    EXPECT_EQ(book.prepare_update(std::get<OrderBookDelta>(delta(5))),
              PreparedUpdate{PreparedUpdate::Buffer{}});
    ASSERT_TRUE(apply(book, delta(5)).has_value());
    EXPECT_EQ(book.prepare_update(std::get<OrderBookDelta>(delta(7))),
              (PreparedUpdate{PreparedUpdate::Reject{RejectAction::RetainDelta,
                                                     OrderBookUpdateError{SequenceGap{6, 7}}}}));
    EXPECT_EQ(book.prepare_update(std::get<OrderBookSnapshot>(snapshot(5))),
              PreparedUpdate{PreparedUpdate::ApplySnapshot{false}});
    ASSERT_TRUE(apply(book, snapshot(5)).has_value());
    EXPECT_EQ(book.prepare_update(std::get<OrderBookDelta>(delta(7))),
              (PreparedUpdate{PreparedUpdate::Reject{RejectAction::RetainDeltaAndResync,
                                                     OrderBookUpdateError{SequenceGap{6, 7}}}}));
    EXPECT_EQ(book.prepare_update(std::get<OrderBookDelta>(delta(6))),
              PreparedUpdate{PreparedUpdate::ApplyDelta{}});
    EXPECT_EQ(book.prepare_update(std::get<OrderBookDelta>(delta(4))),
              PreparedUpdate{PreparedUpdate::Ignore{}});
    ASSERT_TRUE(apply(book, delta(6)).has_value());
    ASSERT_TRUE(apply(book, delta(7)).has_value());
    EXPECT_EQ(book.prepare_update(std::get<OrderBookDelta>(delta(8))),
              (PreparedUpdate{PreparedUpdate::Reject{
                  RejectAction::DiscardAndResync,
                  OrderBookUpdateError{BufferCapacityExceeded{2}}}}));
    EXPECT_EQ(book.prepare_update(std::get<OrderBookSnapshot>(snapshot(5))),
              (PreparedUpdate{PreparedUpdate::Reject{RejectAction::Discard,
                                                     OrderBookUpdateError{StaleSnapshot{5, 5}}}}));
}

TEST(OrderBookProtocolDeathTest, CommittingAnotherKindOfUpdateStopsTheProcess) {
    const char* expected =
        "internal error: entered unreachable code: prepared update must be committed with the "
        "update it describes";
    EXPECT_DEATH(
        {
            OrderBook book = sparse_book(4, UpdatePolicy::Monotonic);
            const PreparedUpdate prepared =
                book.prepare_update(std::get<OrderBookDelta>(delta(1)));
            (void)book.commit_update(prepared, snapshot(1));
        },
        expected);
    EXPECT_DEATH(
        {
            OrderBook book = sparse_book(4, UpdatePolicy::Monotonic);
            const PreparedUpdate prepared =
                book.prepare_update(std::get<OrderBookSnapshot>(snapshot(1)));
            (void)book.commit_update(prepared, delta(1));
        },
        expected);
}

TEST(OrderBookHistory, AbsurdCapacityIsReservedLazily) {
    // A configuration value must not exhaust memory up front; the history
    // still accepts deltas well beyond its initial reservation.
    OrderBook book = sparse_book(size_t{1} << 60, UpdatePolicy::Contiguous);
    EXPECT_EQ(book.buffer_size(), size_t{1} << 60);
    ASSERT_TRUE(apply(book, snapshot(0)).has_value());
    const uint64_t deltas = DeltaHistory::RESERVE_LIMIT * 2 + 3;
    for (uint64_t id = 1; id <= deltas; ++id) {
        ASSERT_EQ(apply(book, delta(id, {bid("1", "1")})), Applied) << id;
    }
    EXPECT_EQ(book.history().size(), deltas);
    EXPECT_EQ(book.history()[0].update_id, 1u);
    EXPECT_EQ(book.history().back().update_id, deltas);
    // A snapshot trims the history, and the ring keeps working after wrapping.
    ASSERT_EQ(apply(book, snapshot(deltas - 2)), Applied);
    EXPECT_EQ(history_ids(book), (std::vector<uint64_t>{deltas - 1, deltas}));
    for (uint64_t id = deltas + 1; id <= deltas + 10; ++id) {
        ASSERT_EQ(apply(book, delta(id)), Applied);
    }
    EXPECT_EQ(book.history().size(), 12u);
    EXPECT_EQ(book.last_update_id(), deltas + 10);
}

}  // namespace
}  // namespace zelk
