#include "zelk/indicators/volatility/rolling_volatility.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace zelk {
namespace {

RollingVolatility volatility(std::initializer_list<uint64_t> windows, WarmupPolicy warmup) {
    return *RollingVolatility::create(std::span(windows.begin(), windows.size()), warmup);
}

TEST(RollingVolatility, FirstValueReportsFromTheSecondInput) {
    auto v = volatility({2}, WarmupPolicy::FirstValue);
    EXPECT_TRUE(std::isnan(v.value(0)));  // nothing yet
    v.update(100.0);
    EXPECT_TRUE(std::isnan(v.value(0)));  // no return yet
    v.update(110.0);
    EXPECT_EQ(v.value(0), 0.0);
    v.update(121.0);  // returns 0.1, 0.1
    EXPECT_NEAR(v.value(0), 0.0, 1e-15);
    v.update(121.0);  // window of returns [0.1, 0.0]
    EXPECT_NEAR(v.value(0), 0.05, 1e-15);
    EXPECT_EQ(v.moments(0).count, 2u);
}

TEST(RollingVolatility, FullWindowWaitsForThePeriodOfReturns) {
    auto v = volatility({3}, WarmupPolicy::FullWindow);
    for (double price : {100.0, 101.0, 103.0}) {
        v.update(price);
        EXPECT_TRUE(std::isnan(v.value(0)));
    }
    v.update(102.0);  // third return
    EXPECT_FALSE(std::isnan(v.value(0)));
}

TEST(RollingVolatility, ZeroPreviousPriceFormsNoReturn) {
    auto v = volatility({4}, WarmupPolicy::FirstValue);
    v.update(0.0);
    v.update(10.0);  // previous is 0.0: no return
    EXPECT_EQ(v.moments(0).count, 0u);
    EXPECT_TRUE(std::isnan(v.value(0)));
    v.update(11.0);
    EXPECT_EQ(v.moments(0).count, 1u);
    EXPECT_DOUBLE_EQ(v.moments(0).mean, 0.1);
}

TEST(RollingVolatility, ConstructionErrors) {
    struct Case {
        std::vector<uint64_t> windows;
        const char* text;
    };
    const Case cases[] = {
        {{}, "invalid argument: ring buffer capacity must be greater than 0"},
        {{0}, "invalid argument: ring buffer capacity must be greater than 0"},
        {{3, 0}, "invalid argument: window period must be greater than 0"},
        {std::vector<uint64_t>(17, 2), "invalid argument: maximum number of windows (16) reached"},
        // A window no process could hold is refused instead of failing the allocation.
        {{std::numeric_limits<uint64_t>::max()}, "invalid argument: window period must fit usize"},
    };
    for (const Case& c : cases) {
        auto v = RollingVolatility::create(c.windows, WarmupPolicy::FirstValue);
        ASSERT_FALSE(v);
        EXPECT_EQ(to_string(v.error()), c.text);
    }
    EXPECT_TRUE(RollingVolatility::create(std::vector<uint64_t>(16, 2), WarmupPolicy::FirstValue));
}

}  // namespace
}  // namespace zelk
