// Reading and verifying a TEQ6 configuration file: a 32-byte header, the signature 03 12 00 FF,
// any number of 2,056-byte blocks, and a 4-byte trailer (normally FF 00 12 03).
#pragma once

#include <cstddef>
#include <cstdint>

#include "config/DataBuffer.h"
#include "config/ResultCode.h"

constexpr std::size_t kHeaderSize = 32;
constexpr std::size_t kMarkerSize = 4;
constexpr std::uint8_t kFileMagic[kMarkerSize] = {0x03, 0x12, 0x00, 0xFF};
constexpr std::uint8_t kEndMarker[kMarkerSize] = {0xFF, 0x00, 0x12, 0x03};

// Where a load stopped, for tools that explain a refused file. The blocks read before the stop
// are in the store, so the block being read when it stopped is number store->Count() + 1.
enum class LoadStop {
    kOpen,       // the file could not be opened
    kHeader,     // fewer than 32 header bytes
    kSignature,  // the signature is short or wrong
    kBlock,      // a block read: short, bad check word, or no room
    kTrailer,    // the trailer ended the file
};

struct LoadReport {
    LoadStop stop = LoadStop::kOpen;
    std::size_t lastReadLength = 0;  // bytes the last block-sized read returned
};

// Clears the store once the signature is good, then fills it in file order. On any failure the
// store holds the blocks read so far. report may be null.
ResultCode ReadConfigFile(const char* path, DataBuffer* store, LoadReport* report = nullptr);
