#include "config/DataBuffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <new>
#include <vector>

namespace {

// The store grows by exactly ten slots at a time.
constexpr std::uint32_t kStep = 10;

class DataBufferTest : public ::testing::Test {
  protected:
    // Adds count new blocks and remembers them in order.
    void AddBlocks(std::uint32_t count) {
        for (std::uint32_t i = 0; i < count; ++i) {
            DataBlock* block = new (std::nothrow) DataBlock;
            ASSERT_NE(block, nullptr);
            ASSERT_TRUE(m_store.Add(block));
            m_added.push_back(block);
        }
    }

    void ExpectAddedInOrder() const {
        ASSERT_EQ(m_store.Count(), m_added.size());
        for (std::uint32_t i = 0; i < m_added.size(); ++i) {
            EXPECT_EQ(m_store.At(i), m_added[i]) << "index " << i;
        }
    }

    DataBuffer m_store;
    std::vector<DataBlock*> m_added;  // owned by m_store
};

TEST_F(DataBufferTest, StartsWithoutSlots) {
    EXPECT_EQ(m_store.Count(), 0u);
    EXPECT_EQ(m_store.Capacity(), 0u);
    EXPECT_EQ(m_store.At(0), nullptr);
}

TEST_F(DataBufferTest, RefusesNullBlockWithoutGrowing) {
    EXPECT_FALSE(m_store.Add(nullptr));
    EXPECT_EQ(m_store.Count(), 0u);
    EXPECT_EQ(m_store.Capacity(), 0u);
}

TEST_F(DataBufferTest, GrowsByTenSlotsOnlyWhenFull) {
    const struct {
        std::uint32_t count;
        std::uint32_t capacity;
    } kGrowth[] = {{1, kStep},
                   {kStep, kStep},
                   {kStep + 1, 2 * kStep},
                   {2 * kStep, 2 * kStep},
                   {2 * kStep + 1, 3 * kStep}};
    for (const auto& step : kGrowth) {
        AddBlocks(step.count - m_store.Count());
        EXPECT_EQ(m_store.Capacity(), step.capacity) << "after " << step.count << " blocks";
    }
    ExpectAddedInOrder();
}

TEST_F(DataBufferTest, AtPastTheLastBlockIsNull) {
    AddBlocks(3);
    EXPECT_NE(m_store.At(2), nullptr);
    EXPECT_EQ(m_store.At(3), nullptr) << "a free slot inside the array";
    EXPECT_EQ(m_store.At(kStep), nullptr) << "past the array";
    EXPECT_EQ(m_store.At(std::numeric_limits<std::uint32_t>::max()), nullptr);
}

TEST_F(DataBufferTest, ClearEmptiesTheStoreButKeepsItsSlots) {
    AddBlocks(kStep + 1);
    m_store.Clear();
    m_added.clear();
    EXPECT_EQ(m_store.Count(), 0u);
    EXPECT_EQ(m_store.Capacity(), 2 * kStep);
    EXPECT_EQ(m_store.At(0), nullptr);

    AddBlocks(2 * kStep);
    EXPECT_EQ(m_store.Capacity(), 2 * kStep) << "the kept slots are reused before growing";
    ExpectAddedInOrder();
}

}  // namespace
