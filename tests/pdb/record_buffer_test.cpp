#include "pdb/record_buffer.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace zelvio {
namespace {

std::vector<std::uint8_t> contents(const RecordBuffer& buffer) {
    return {buffer.bytes().begin(), buffer.bytes().end()};
}

TEST(RecordBuffer, ShrinkingKeepsTheFirstBytesAndTheBlockAndGrowingBringsNoneOfTheCutBack) {
    RecordBuffer buffer;
    ASSERT_EQ(buffer.resize(8), kDbOk);
    std::iota(buffer.data(), buffer.data() + 8, std::uint8_t{1});
    const std::uint8_t* block = buffer.data();
    ASSERT_EQ(buffer.resize(2), kDbOk);
    EXPECT_EQ(buffer.data(), block);
    EXPECT_EQ(contents(buffer), (std::vector<std::uint8_t>{1, 2}));
    ASSERT_EQ(buffer.resize(5), kDbOk);  // within the old block
    EXPECT_EQ(contents(buffer), (std::vector<std::uint8_t>{1, 2, 0, 0, 0}));
    ASSERT_EQ(buffer.resize(100), kDbOk);  // into a new block
    std::vector<std::uint8_t> expected(100, 0);
    expected[0] = 1;
    expected[1] = 2;
    EXPECT_EQ(contents(buffer), expected);
}

TEST(RecordBuffer, GrowthOneByteAtATimeDoublesUpTo64000AndThenGoesExact) {
    RecordBuffer buffer;
    std::vector<std::uint32_t> capacities;
    for (std::uint32_t size = 32; size <= 64100; ++size) {
        ASSERT_EQ(buffer.resize(size), kDbOk);
        if (capacities.empty() || capacities.back() != buffer.capacity()) {
            capacities.push_back(buffer.capacity());
        }
    }
    const std::vector<std::uint32_t> expected = {32,   64,   128,  256,   512,   1024,
                                                 2048, 4096, 8192, 16384, 32768, 64000};
    ASSERT_GE(capacities.size(), expected.size());
    EXPECT_EQ(std::vector<std::uint32_t>(capacities.begin(), capacities.begin() + 12), expected);
    EXPECT_EQ(buffer.capacity(), 64100u);  // past the ceiling every growth is exact
}

TEST(RecordBuffer, RefusedGrowthLeavesBlockContentsAndSizeAsTheyWere) {
    MemoryBudget budget;
    RecordBuffer buffer(&budget);
    ASSERT_EQ(buffer.resize(4), kDbOk);
    std::iota(buffer.data(), buffer.data() + 4, std::uint8_t{7});
    budget.setLimit(budget.heldBytes());

    EXPECT_EQ(buffer.resize(5), kDbMemoryFull);
    EXPECT_EQ(contents(buffer), (std::vector<std::uint8_t>{7, 8, 9, 10}));
    EXPECT_EQ(budget.heldBytes(), 4u);
}

TEST(RecordBuffer, GrowsExactlyWhenADoubledBlockWouldPassTheLimit) {
    MemoryBudget budget;
    RecordBuffer buffer(&budget);
    ASSERT_EQ(buffer.resize(32), kDbOk);
    budget.setLimit(32 + 33);  // room for the old and an exact new block side by side, no more
    ASSERT_EQ(buffer.resize(33), kDbOk);
    EXPECT_EQ(buffer.capacity(), 33u);
    EXPECT_EQ(budget.heldBytes(), 33u);
}

TEST(RecordBuffer, BudgetCountsEveryBlockUntilItIsFreed) {
    MemoryBudget budget;
    {
        RecordBuffer buffer(&budget);
        ASSERT_EQ(buffer.resize(1000), kDbOk);
        ASSERT_EQ(buffer.resize(10), kDbOk);
        EXPECT_EQ(budget.heldBytes(), 1000u);
        buffer.shrinkToFit();
        EXPECT_EQ(budget.heldBytes(), 10u);
        RecordBuffer moved(std::move(buffer));
        EXPECT_EQ(budget.heldBytes(), 10u);
    }
    EXPECT_EQ(budget.heldBytes(), 0u);
}

}  // namespace
}  // namespace zelvio
