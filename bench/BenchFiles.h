// Valid blocks and configuration files of any size, made in-process with the program's own
// check-word helpers, in a temporary folder removed when the process ends.
#pragma once

#include <cstdint>
#include <string>

#include "config/DataBlock.h"

// Fills block with a payload that varies with seed, and its check word.
void FillValidBlock(DataBlock* block, std::uint32_t seed);

// The path of a valid file of blockCount blocks (made on first use), or "" if it could not be.
std::string ConfigFileWithBlocks(std::uint32_t blockCount);
