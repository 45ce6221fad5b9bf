#include "config/DataBlock.h"

namespace {
constexpr unsigned kBitsPerByte = 8;
constexpr unsigned kByteMask = 0xFF;
}  // namespace

std::uint16_t CheckWordFor(const std::uint8_t* payload) {
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < kPayloadSize; ++i) {
        sum = static_cast<std::uint16_t>(sum + payload[i]);
    }
    return static_cast<std::uint16_t>(0u - sum);
}

std::uint16_t StoredCheckWord(const DataBlock& block) {
    const std::uint8_t* word = block.bytes + kPayloadSize;
    return static_cast<std::uint16_t>(word[0] | (word[1] << kBitsPerByte));
}

void StoreCheckWord(DataBlock* block, std::uint16_t checkWord) {
    std::uint8_t* word = block->bytes + kPayloadSize;
    word[0] = static_cast<std::uint8_t>(checkWord & kByteMask);
    word[1] = static_cast<std::uint8_t>(checkWord >> kBitsPerByte);
}

bool IsValid(const DataBlock* block) {
    return block != nullptr && CheckWordFor(block->bytes) == StoredCheckWord(*block);
}
