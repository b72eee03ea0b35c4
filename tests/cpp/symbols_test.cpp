#include "zelk/symbols.hpp"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace zelk {
namespace {

TEST(SymbolInterner, GlobalSymbolIsZeroInAnyCase) {
    EXPECT_EQ(resolve_as_string(Symbol::global()), "__global__");
    EXPECT_EQ(display(Symbol::global()), "GLOBAL");
    const size_t before = interned_symbol_count();
    EXPECT_EQ(intern("__global__")->id, 0);
    EXPECT_EQ(intern("__GLOBAL__")->id, 0);
    EXPECT_EQ(interned_symbol_count(), before);
}

TEST(SymbolInterner, FoldsAsciiCaseOnly) {
    const Symbol a = *intern("BtcUsdt");
    EXPECT_EQ(*intern("btcusdt"), a);
    EXPECT_EQ(*intern("BTCUSDT"), a);
    EXPECT_EQ(resolve_as_string(a), "btcusdt");
    EXPECT_EQ(display(a), "btcusdt");
    // "É" and "é" differ beyond ASCII and stay distinct symbols.
    EXPECT_NE(*intern("\xC3\x89t"), *intern("\xC3\xA9t"));
    // No trimming: a trailing blank is part of the name.
    EXPECT_NE(*intern("eth "), *intern("eth"));
}

TEST(SymbolInterner, EmptyNameIsAName) {
    const Symbol empty = *intern("");
    EXPECT_NE(empty, Symbol::global());
    EXPECT_EQ(*intern(""), empty);
    EXPECT_EQ(resolve_as_string(empty), "");
}

TEST(SymbolInterner, ConcurrentInterningAgreesOnIds) {
    std::vector<std::thread> threads;
    std::vector<std::vector<uint16_t>> ids(4);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &ids] {
            for (int i = 0; i < 20; ++i) {
                ids[t].push_back(intern("threaded" + std::to_string(i))->id);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (int t = 1; t < 4; ++t) EXPECT_EQ(ids[t], ids[0]);
}

}  // namespace
}  // namespace zelk
