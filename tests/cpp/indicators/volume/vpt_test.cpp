#include "zelk/indicators/volume/vpt.hpp"

#include <gtest/gtest.h>

namespace zelk {
namespace {

TEST(VolumePriceTrend, RunningSumSkipsAZeroPreviousPrice) {
    VolumePriceTrend vpt;
    EXPECT_EQ(vpt.value(), 0.0);
    const struct {
        double price, volume, expected;
    } trades[] = {{10, 5, 0.0}, {11, 2, 0.2}, {0, 1, -0.8}, {5, 4, -0.8}};
    for (const auto& t : trades) {
        vpt.update(t.price, t.volume);
        EXPECT_DOUBLE_EQ(vpt.value(), t.expected) << "price " << t.price;
    }
}

}  // namespace
}  // namespace zelk
