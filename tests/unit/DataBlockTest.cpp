#include "config/DataBlock.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace {

constexpr std::size_t kLowByte = kPayloadSize;
constexpr std::size_t kHighByte = kPayloadSize + 1;
// 257 x 0xFF = 65,535: one more makes the sum wrap.
constexpr std::size_t kFFBytesBeforeWrap = 257;

struct CheckWordCase {
    const char* name;
    void (*fill)(DataBlock* block);  // the payload; the check word bytes start at zero
    std::uint16_t checkWord;
};

std::ostream& operator<<(std::ostream& out, const CheckWordCase& entry) {
    return out << entry.name;
}

const CheckWordCase kCheckWordCases[] = {
    {"AllZero", [](DataBlock*) {}, 0x0000},
    // 2,054 x 0xFF = 0x7FDFA; the low half FDFA negated.
    {"AllFF", [](DataBlock* b) { std::memset(b->bytes, 0xFF, kPayloadSize); }, 0x0206},
    // 0, 1, ..., 255 eight times, then 0 to 5: 0x3FC0F.
    {"Counting",
     [](DataBlock* b) {
         for (std::size_t i = 0; i < kPayloadSize; ++i) {
             b->bytes[i] = static_cast<std::uint8_t>(i);
         }
     },
     0x03F1},
    {"FirstPayloadByte", [](DataBlock* b) { b->bytes[0] = 1; }, 0xFFFF},
    {"LastPayloadByte", [](DataBlock* b) { b->bytes[kPayloadSize - 1] = 1; }, 0xFFFF},
    {"SumWrapsToZero",
     [](DataBlock* b) {
         std::memset(b->bytes, 0xFF, kFFBytesBeforeWrap);
         b->bytes[kFFBytesBeforeWrap] = 1;
     },
     0x0000},
    // The check word bytes themselves are not part of the sum.
    {"CheckWordBytesIgnored",
     [](DataBlock* b) {
         b->bytes[kLowByte] = 0xAB;
         b->bytes[kHighByte] = 0xCD;
     },
     0x0000},
};

class CheckWord : public ::testing::TestWithParam<CheckWordCase> {
  protected:
    void SetUp() override {
        std::memset(m_block.bytes, 0, kBlockSize);
        GetParam().fill(&m_block);
    }

    DataBlock m_block;
};

TEST_P(CheckWord, MakesPayloadSumZero) {
    EXPECT_EQ(CheckWordFor(m_block.bytes), GetParam().checkWord);
}

TEST_P(CheckWord, BlockIsValidOnlyWithItsOwnCheckWord) {
    std::uint16_t good = GetParam().checkWord;
    StoreCheckWord(&m_block, good);
    EXPECT_TRUE(IsValid(&m_block));
    for (std::uint16_t wrong : {std::uint16_t(good + 1), std::uint16_t(good - 1)}) {
        StoreCheckWord(&m_block, wrong);
        EXPECT_FALSE(IsValid(&m_block)) << "check word " << wrong;
    }
}

INSTANTIATE_TEST_SUITE_P(Payloads, CheckWord, ::testing::ValuesIn(kCheckWordCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DataBlock, CheckWordIsStoredLittleEndianAfterThePayload) {
    DataBlock block;
    std::memset(block.bytes, 0xFF, kBlockSize);
    StoreCheckWord(&block, 0x0206);
    EXPECT_EQ(block.bytes[kLowByte], 0x06);
    EXPECT_EQ(block.bytes[kHighByte], 0x02);
    EXPECT_EQ(block.bytes[kPayloadSize - 1], 0xFF) << "the payload is left alone";
    EXPECT_EQ(StoredCheckWord(block), 0x0206);
}

TEST(DataBlock, ByteSwappedCheckWordIsInvalid) {
    DataBlock block;
    std::memset(block.bytes, 0xFF, kPayloadSize);
    block.bytes[kLowByte] = 0x02;
    block.bytes[kHighByte] = 0x06;
    EXPECT_FALSE(IsValid(&block));
}

TEST(DataBlock, NullBlockIsNotValid) {
    EXPECT_FALSE(IsValid(nullptr));
}

}  // namespace
