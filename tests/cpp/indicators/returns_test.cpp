#include "zelk/indicators/returns.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace zelk {
namespace {

Returns returns(ReturnKind kind, std::initializer_list<uint64_t> lags) {
    return *Returns::create(kind, std::span(lags.begin(), lags.size()));
}

TEST(Returns, SimpleReturnsPerLag) {
    auto r = returns(ReturnKind::Simple, {1, 3});
    r.update(100.0);
    EXPECT_TRUE(std::isnan(r.value(0)));
    r.update(110.0);
    EXPECT_DOUBLE_EQ(r.value(0), 0.1);
    EXPECT_TRUE(std::isnan(r.value(1)));  // needs four inputs
    r.update(99.0);
    r.update(121.0);
    EXPECT_DOUBLE_EQ(r.value(1), 0.21);
    EXPECT_DOUBLE_EQ(r.value(0), 22.0 / 99.0);
    r.update(0.0);
    r.update(5.0);
    EXPECT_TRUE(std::isnan(r.value(0)));  // old value 0.0
}

TEST(Returns, LogReturnsNeedPositiveValuesOnBothSides) {
    auto r = returns(ReturnKind::Log, {1, 2});
    r.update(100.0);
    r.update(110.0);
    EXPECT_DOUBLE_EQ(r.value(0), std::log(110.0) - std::log(100.0));
    r.update(0.0);
    EXPECT_TRUE(std::isnan(r.value(0)));  // new value 0
    EXPECT_TRUE(std::isnan(r.value(1)));
    r.update(50.0);
    EXPECT_TRUE(std::isnan(r.value(0)));  // old value 0
    EXPECT_DOUBLE_EQ(r.value(1), std::log(50.0) - std::log(110.0));
    r.update(-5.0);
    EXPECT_TRUE(std::isnan(r.value(0)));  // negative new value
}

TEST(Returns, ConstructionErrors) {
    struct Case {
        std::vector<uint64_t> lags;
        const char* text;
    };
    const Case cases[] = {
        {{2, 0}, "invalid argument: window period must be greater than 0"},
        {std::vector<uint64_t>(17, 1), "invalid argument: maximum number of windows (16) reached"},
        {{std::numeric_limits<uint64_t>::max()}, "invalid argument: window period must fit usize"},
    };
    for (const Case& c : cases) {
        auto r = Returns::create(ReturnKind::Simple, c.lags);
        ASSERT_FALSE(r);
        EXPECT_EQ(to_string(r.error()), c.text);
    }
}

}  // namespace
}  // namespace zelk
