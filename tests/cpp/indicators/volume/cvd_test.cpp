#include "zelk/indicators/volume/cvd.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace zelk {
namespace {

TEST(CumulativeVolumeDelta, SignedVolumesOverTheLastTrades) {
    const uint64_t windows[] = {2, 1};
    auto first = *CumulativeVolumeDelta::create(windows, WarmupPolicy::FirstValue);
    auto full = *CumulativeVolumeDelta::create(windows, WarmupPolicy::FullWindow);
    EXPECT_TRUE(std::isnan(first.value(0)));

    struct Step {
        bool sell;
        double volume;
        double window2;
        double window1;
    };
    const Step steps[] = {{false, 5.0, 5.0, 5.0}, {true, 3.0, 2.0, -3.0}, {false, 1.0, -2.0, 1.0}};
    for (size_t i = 0; i < 3; ++i) {
        first.update_inner(steps[i].sell, steps[i].volume);
        full.update_inner(steps[i].sell, steps[i].volume);
        EXPECT_EQ(first.value(0), steps[i].window2) << "step " << i;
        EXPECT_EQ(first.value(1), steps[i].window1) << "step " << i;
        EXPECT_EQ(full.value(1), steps[i].window1) << "step " << i;
    }
    // Full window: NaN until two trades exist.
    auto fresh = *CumulativeVolumeDelta::create(windows, WarmupPolicy::FullWindow);
    fresh.update_inner(false, 5.0);
    EXPECT_TRUE(std::isnan(fresh.value(0)));
    EXPECT_EQ(fresh.value(1), 5.0);
    EXPECT_EQ(full.value(0), -2.0);
}

TEST(CumulativeVolumeDelta, ConstructionErrors) {
    struct Case {
        std::vector<uint64_t> windows;
        const char* text;
    };
    const Case cases[] = {
        {{}, "invalid argument: ring buffer capacity must be greater than 0"},
        {{1, 0}, "invalid argument: window period must be greater than 0"},
        {std::vector<uint64_t>(17, 1), "invalid argument: maximum number of windows (16) reached"},
        {{std::numeric_limits<uint64_t>::max()}, "invalid argument: window period must fit usize"},
    };
    for (const Case& c : cases) {
        auto cvd = CumulativeVolumeDelta::create(c.windows, WarmupPolicy::FirstValue);
        ASSERT_FALSE(cvd);
        EXPECT_EQ(to_string(cvd.error()), c.text);
    }
}

}  // namespace
}  // namespace zelk
