// Where things sit in a configuration file, for the tools that point at them.
#pragma once

#include <cstdint>

#include "config/ConfigFile.h"
#include "config/DataBlock.h"

constexpr std::uint64_t kSignatureOffset = kHeaderSize;
constexpr std::uint64_t kFirstBlockOffset = kHeaderSize + kMarkerSize;

// Blocks are numbered from 1, as the tools report them.
constexpr std::uint64_t BlockOffset(std::uint64_t number) {
    return kFirstBlockOffset + (number - 1) * kBlockSize;
}

constexpr std::uint64_t FileSizeFor(std::uint64_t blockCount) {
    return BlockOffset(blockCount + 1) + kMarkerSize;
}
