#include "zelk/indicators/counts/trade_count.hpp"

#include <gtest/gtest.h>

namespace zelk {
namespace {

constexpr Duration SECOND{1, 0};

TEST(TradeCountTimed, ConstructionChecksInOrderWithExactTexts) {
    struct Case {
        const char* name;
        Duration aggregation;
        Duration window;
        const char* text;
    };
    const Duration huge{uint64_t{1} << 62, 0};
    const Case cases[] = {
        {"aggregation below a millisecond", Duration{0, 1'500'000}, Duration{3, 0},
         "invalid argument: timed window durations must use whole-millisecond precision"},
        {"window below a millisecond", SECOND, Duration{3, 500},
         "invalid argument: timed window durations must use whole-millisecond precision"},
        {"half a millisecond is a precision error", Duration{0, 500'000}, SECOND,
         "invalid argument: timed window durations must use whole-millisecond precision"},
        {"zero aggregation", Duration{}, SECOND,
         "invalid argument: aggregation duration must be at least 1 millisecond"},
        {"window shorter", SECOND, Duration{0, 500'000'000},
         "invalid argument: window cannot be shorter than aggregation"},
        {"window not a multiple", SECOND, Duration{2, 500'000'000},
         "invalid argument: window must be a multiple of aggregation"},
        {"aggregation out of range", huge, huge,
         "invalid argument: aggregation duration must fit signed 64-bit milliseconds"},
        {"window out of range", Duration{0, 1'000'000}, huge,
         "invalid argument: window duration must fit signed 64-bit milliseconds"},
        {"multiple check before range check", huge, Duration{(uint64_t{1} << 62) + 1, 0},
         "invalid argument: window must be a multiple of aggregation"},
    };
    for (const Case& c : cases) {
        auto count = TradeCountTimed::create(c.aggregation, c.window, WarmupPolicy::FirstValue);
        ASSERT_FALSE(count) << c.name;
        EXPECT_EQ(to_string(count.error()), c.text) << c.name;
    }
}

TEST(TradeCountTimed, CountsTradesOfTheWindow) {
    auto count = *TradeCountTimed::create(SECOND, Duration{3, 0}, WarmupPolicy::FullWindow);
    EXPECT_EQ(count.period(), 3u);
    count.update(0);
    count.update(10);
    count.update(2500);
    EXPECT_EQ(count.count(), 3.0);
    EXPECT_FALSE(count.ready());
    EXPECT_TRUE(count.observe(3000));
    EXPECT_TRUE(count.ready());
    EXPECT_EQ(count.count(), 1.0);
    count.observe(9000);
    EXPECT_EQ(count.count(), 0.0);
}

}  // namespace
}  // namespace zelk
