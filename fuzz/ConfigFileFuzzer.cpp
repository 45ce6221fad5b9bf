// Bytes in, result code and block count out, checked against a reading of the file layout that
// shares no code with the reader.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "config/ConfigFile.h"

namespace {

struct Expected {
    ResultCode code;
    std::uint32_t blocks;
};

bool BlockSumsToZero(const std::uint8_t* block) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < kPayloadSize; ++i) {
        sum += block[i];
    }
    sum += block[kPayloadSize] + 256u * block[kPayloadSize + 1];
    return (sum & 0xFFFFu) == 0;
}

Expected ReadLayout(const std::uint8_t* data, std::size_t size) {
    if (size < kHeaderSize + kMarkerSize ||
        std::memcmp(data + kHeaderSize, kFileMagic, kMarkerSize) != 0) {
        return {InvalidFile, 0};
    }
    std::size_t at = kHeaderSize + kMarkerSize;
    std::uint32_t blocks = 0;
    for (;;) {
        const std::size_t left = size - at;
        if (left == kMarkerSize &&
            (blocks > 0 || std::memcmp(data + at, kEndMarker, kMarkerSize) == 0)) {
            return {Success, blocks};
        }
        if (left < kBlockSize) {
            return {ReadError, blocks};
        }
        if (!BlockSumsToZero(data + at)) {
            return {InvalidFile, blocks};
        }
        ++blocks;
        at += kBlockSize;
    }
}

int FileDescriptor() {
    static int descriptor = memfd_create("config", 0);
    return descriptor;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int descriptor = FileDescriptor();
    if (descriptor < 0 || ftruncate(descriptor, 0) != 0 ||
        pwrite(descriptor, data, size, 0) != static_cast<ssize_t>(size)) {
        std::abort();
    }
    char path[64];
    std::snprintf(path, sizeof(path), "/proc/self/fd/%d", descriptor);

    DataBuffer store;
    const ResultCode code = ReadConfigFile(path, &store);
    const Expected expected = ReadLayout(data, size);
    if (code != expected.code || store.Count() != expected.blocks) {
        std::fprintf(stderr, "reader: code %d, %u blocks; layout: code %d, %u blocks\n", code,
                     store.Count(), expected.code, expected.blocks);
        std::abort();
    }
    for (std::uint32_t i = 0; i < store.Count(); ++i) {
        const std::uint8_t* inFile = data + kHeaderSize + kMarkerSize + i * kBlockSize;
        if (std::memcmp(store.At(i)->bytes, inFile, kBlockSize) != 0) {
            std::abort();
        }
    }
    return 0;
}
