#include "config/DataBlock.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <utility>

namespace {

constexpr std::size_t kLowByte = kPayloadSize;
constexpr std::size_t kHighByte = kPayloadSize + 1;

TEST(CheckWord, MakesThePayloadSumZeroAndOnlyItMakesTheBlockValid) {
    const struct {
        const char* payload;
        void (*fill)(DataBlock* block);  // onto zeros
        std::uint16_t checkWord;
    } cases[] = {
        {"all zero", [](DataBlock*) {}, 0x0000},
        // 2,054 x 0xFF = 0x7FDFA; the low half FDFA negated.
        {"all FF", [](DataBlock* b) { std::memset(b->bytes, 0xFF, kPayloadSize); }, 0x0206},
        {"first byte 1", [](DataBlock* b) { b->bytes[0] = 1; }, 0xFFFF},
        {"last byte 1", [](DataBlock* b) { b->bytes[kPayloadSize - 1] = 1; }, 0xFFFF},
        // The check word bytes themselves are not part of the sum.
        {"check word bytes set", [](DataBlock* b) { b->bytes[kLowByte] = 0xAB; }, 0x0000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.payload);
        DataBlock block{};
        c.fill(&block);
        EXPECT_EQ(CheckWordFor(block.bytes), c.checkWord);
        StoreCheckWord(&block, c.checkWord);
        EXPECT_TRUE(IsValid(&block));
        for (const int wrong : {c.checkWord + 1, c.checkWord - 1}) {
            StoreCheckWord(&block, static_cast<std::uint16_t>(wrong));
            EXPECT_FALSE(IsValid(&block)) << "check word " << wrong;
        }
    }
}

TEST(CheckWord, IsStoredLittleEndianAfterThePayload) {
    DataBlock block;
    std::memset(block.bytes, 0xFF, kBlockSize);
    StoreCheckWord(&block, 0x0206);
    EXPECT_EQ(block.bytes[kLowByte], 0x06);
    EXPECT_EQ(block.bytes[kHighByte], 0x02);
    EXPECT_EQ(block.bytes[kPayloadSize - 1], 0xFF) << "the payload is left alone";
    EXPECT_EQ(StoredCheckWord(block), 0x0206);
    EXPECT_TRUE(IsValid(&block));
    std::swap(block.bytes[kLowByte], block.bytes[kHighByte]);
    EXPECT_FALSE(IsValid(&block)) << "byte-swapped";
    EXPECT_FALSE(IsValid(nullptr));
}

}  // namespace
