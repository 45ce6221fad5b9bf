// The unit of storage and of transmission: 2,054 payload bytes and a 16-bit little-endian check
// word, sent to the device exactly as the configuration file holds it.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t kPayloadSize = 2054;
constexpr std::size_t kCheckWordSize = 2;
constexpr std::size_t kBlockSize = kPayloadSize + kCheckWordSize;

struct DataBlock {
    std::uint8_t bytes[kBlockSize];
};
static_assert(sizeof(DataBlock) == kBlockSize, "a block is sent straight from memory");

// The check word that makes payload sum + check word == 0 (mod 65,536).
std::uint16_t CheckWordFor(const std::uint8_t* payload);

std::uint16_t StoredCheckWord(const DataBlock& block);
void StoreCheckWord(DataBlock* block, std::uint16_t checkWord);

// A null block is never valid.
bool IsValid(const DataBlock* block);
