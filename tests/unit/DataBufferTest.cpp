#include "config/DataBuffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

namespace {

// Adds count new blocks to the store and to the list of what it should hold.
void AddBlocks(DataBuffer* store, std::vector<DataBlock*>* added, std::uint32_t count) {
    for (std::uint32_t i = 0; i < count; ++i) {
        added->push_back(new DataBlock);
        ASSERT_TRUE(store->Add(added->back()));
    }
}

void ExpectHolds(const DataBuffer& store, const std::vector<DataBlock*>& added) {
    ASSERT_EQ(store.Count(), added.size());
    for (std::uint32_t i = 0; i < added.size(); ++i) {
        EXPECT_EQ(store.At(i), added[i]) << "index " << i;
    }
    EXPECT_EQ(store.At(store.Count()), nullptr) << "the first free slot";
    EXPECT_EQ(store.At(std::numeric_limits<std::uint32_t>::max()), nullptr);
}

TEST(DataBuffer, GrowsByTenSlotsOnlyWhenFullAndKeepsThemWhenCleared) {
    DataBuffer store;
    std::vector<DataBlock*> added;  // owned by the store
    EXPECT_EQ(store.Capacity(), 0u);
    EXPECT_FALSE(store.Add(nullptr));
    EXPECT_EQ(store.Capacity(), 0u) << "a refused block makes no room";
    ExpectHolds(store, added);
    const struct {
        std::uint32_t count;
        std::uint32_t capacity;
    } growth[] = {{1, 10}, {10, 10}, {11, 20}, {20, 20}, {21, 30}};
    for (const auto& step : growth) {
        AddBlocks(&store, &added, step.count - store.Count());
        EXPECT_EQ(store.Capacity(), step.capacity) << "after " << step.count << " blocks";
    }
    ExpectHolds(store, added);

    store.Clear();
    added.clear();
    EXPECT_EQ(store.Capacity(), 30u);
    ExpectHolds(store, added);
    AddBlocks(&store, &added, 30);
    EXPECT_EQ(store.Capacity(), 30u) << "the kept slots are used before growing";
    ExpectHolds(store, added);
}

}  // namespace
