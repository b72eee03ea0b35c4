#include "zelk/ring_buffer.hpp"

#include <gtest/gtest.h>

#include <deque>
#include <random>

namespace zelk {
namespace {

TEST(HeapRingBuffer, CapacityOneEvictsThePreviousElementOnEveryPush) {
    HeapRingBuffer<int> buffer(1);
    EXPECT_EQ(buffer.push_back(1), std::nullopt);
    EXPECT_EQ(buffer.push_back(2), 1);
    EXPECT_EQ(buffer.push_back(3), 2);
    EXPECT_EQ(buffer.len(), 1u);
    EXPECT_EQ(buffer.back(), 3);
}

TEST(HeapRingBuffer, EvictsInPushOrderOnceFull) {
    HeapRingBuffer<int> buffer(3);
    for (int v : {10, 20, 30}) EXPECT_EQ(buffer.push_back(v), std::nullopt);
    EXPECT_EQ(buffer.push_back(40), 10);
    EXPECT_EQ(buffer.get(0), 20);
    EXPECT_EQ(buffer.push_back(50), 20);
    EXPECT_EQ(buffer.get(0), 30);
    EXPECT_EQ(buffer.back(), 50);
}

TEST(HeapRingBuffer, PopBackThenPushReplacesNewestWithoutEviction) {
    HeapRingBuffer<int> buffer(2);
    buffer.push_back(1);
    buffer.push_back(2);
    buffer.pop_back();
    EXPECT_EQ(buffer.push_back(5), std::nullopt);
    EXPECT_EQ(buffer.get(0), 1);
    EXPECT_EQ(buffer.get(1), 5);
}

// Random pushes and pops against a std::deque reference, across wrap-around.
TEST(HeapRingBuffer, MatchesDequeReference) {
    std::mt19937 rng(7);
    HeapRingBuffer<int> buffer(5);
    std::deque<int> reference;
    for (int step = 0; step < 2000; ++step) {
        if (!reference.empty() && rng() % 4 == 0) {
            buffer.pop_back();
            reference.pop_back();
        } else {
            const int value = static_cast<int>(rng() % 1000);
            std::optional<int> expected;
            if (reference.size() == 5) {
                expected = reference.front();
                reference.pop_front();
            }
            reference.push_back(value);
            ASSERT_EQ(buffer.push_back(value), expected);
        }
        ASSERT_EQ(buffer.len(), reference.size());
        for (size_t i = 0; i < reference.size(); ++i) ASSERT_EQ(buffer.get(i), reference[i]);
    }
}

TEST(HeapRingBuffer, CopyIsIndependent) {
    HeapRingBuffer<int> a(2);
    a.push_back(1);
    HeapRingBuffer<int> b = a;
    b.push_back(2);
    EXPECT_EQ(a.len(), 1u);
    EXPECT_EQ(b.len(), 2u);
}

}  // namespace
}  // namespace zelk

namespace zelk {
namespace {

TEST(HeapRingBuffer, TryNewRefusesWhatCannotBeAllocated) {
    EXPECT_FALSE(HeapRingBuffer<double>::try_new(0).has_value());
    EXPECT_FALSE(HeapRingBuffer<double>::try_new(SIZE_MAX).has_value());
    EXPECT_FALSE(HeapRingBuffer<double>::try_new(SIZE_MAX / 8 - 1).has_value());
    auto small = HeapRingBuffer<double>::try_new(3);
    ASSERT_TRUE(small.has_value());
    EXPECT_EQ(small->capacity(), 3u);
    small->push_back(1.5);
    EXPECT_EQ(small->back(), 1.5);
}

}  // namespace
}  // namespace zelk
