// Fills the process-wide symbol table, so it runs in a process of its own.
#include <gtest/gtest.h>

#include <string>

#include "zelk/symbols.hpp"

namespace zelk {
namespace {

TEST(SymbolLimit, FiveHundredTwelveEntriesIncludingGlobal) {
    ASSERT_EQ(interned_symbol_count(), 1u);
    for (int i = 1; i <= 511; ++i) {
        auto symbol = intern("user" + std::to_string(i));
        ASSERT_TRUE(symbol.has_value()) << i;
        EXPECT_EQ(symbol->id, i);
    }

    auto refused = intern("one-too-many");
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(to_string(refused.error()), "invalid argument: symbol count 513 exceeds limit 512");
    EXPECT_EQ(interned_symbol_count(), 512u);

    // Known names keep working, in any case, with their old ids.
    EXPECT_EQ(intern("user1")->id, 1);
    EXPECT_EQ(intern("USER511")->id, 511);
    EXPECT_EQ(intern("__global__")->id, 0);
    EXPECT_FALSE(intern("another-new-name").has_value());
}

}  // namespace
}  // namespace zelk
