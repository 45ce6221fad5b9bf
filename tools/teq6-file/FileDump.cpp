#include "FileDump.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "FileChecker.h"
#include "HexBytes.h"
#include "Plural.h"
#include "config/ConfigFile.h"
#include "config/DataBlock.h"

namespace {
constexpr std::size_t kHexLineLength = 16;
constexpr std::size_t kFirstBytesShown = 8;
constexpr std::size_t kHexColumnsPerByte = sizeof("FF ") - 1;
}  // namespace

FileDump::FileDump(const char* path) : m_path(path) {}

FileDump::~FileDump() = default;

bool FileDump::Show() {
    BinaryFile file(m_path, BinaryFile::Mode::kRead);
    if (file.IsOpen() && ShowHeader(&file) && ShowSignature(&file)) {
        ShowBlocks(&file);
    }
    FileChecker checker(m_path);
    bool valid = checker.Check() == Success;
    checker.PrintVerdict();
    return valid;
}

bool FileDump::ShowHeader(BinaryFile* file) {
    std::uint8_t header[kHeaderSize];
    std::size_t length = file->Read(header, kHeaderSize);
    for (std::size_t line = 0; line < length; line += kHexLineLength) {
        std::size_t count = length - line < kHexLineLength ? length - line : kHexLineLength;
        ShowField(line == 0 ? "header" : "");
        ShowHexLine(header + line, count);
        m_offset += count;
    }
    if (length < kHeaderSize) {
        std::printf("end of file after %zu of %zu header bytes\n", length, kHeaderSize);
        return false;
    }
    return true;
}

// Hex on the left, the printable characters on the right, lined up whatever the line's length.
void FileDump::ShowHexLine(const std::uint8_t* bytes, std::size_t count) const {
    PrintHexBytes(bytes, count);
    int padding = static_cast<int>((kHexLineLength - count) * kHexColumnsPerByte);
    std::printf("%*s  |", padding, "");
    for (std::size_t i = 0; i < count; ++i) {
        std::printf("%c", std::isprint(bytes[i]) ? bytes[i] : '.');
    }
    std::printf("|\n");
}

bool FileDump::ShowSignature(BinaryFile* file) {
    std::uint8_t signature[kMarkerSize];
    std::size_t length = file->Read(signature, kMarkerSize);
    if (length < kMarkerSize) {
        std::printf("end of file after %zu of %zu signature bytes\n", length, kMarkerSize);
        return false;
    }
    ShowField("signature");
    PrintHexBytes(signature, kMarkerSize);
    bool good = std::memcmp(signature, kFileMagic, kMarkerSize) == 0;
    std::printf(good ? "\n" : "  wrong\n");
    m_offset += kMarkerSize;
    return true;
}

// Any short read ends the file: a 4-byte one is a trailer, anything else a cut block.
void FileDump::ShowBlocks(BinaryFile* file) {
    DataBlock block;
    for (std::uint32_t number = 1;; ++number) {
        std::size_t length = file->Read(block.bytes, kBlockSize);
        if (length == kBlockSize) {
            ShowBlock(number, block);
            m_offset += kBlockSize;
        } else if (length == kMarkerSize) {
            ShowTrailer(block.bytes);
            return;
        } else if (length == 0) {
            std::printf("end of file after %u block%s, no trailer\n", number - 1,
                        Plural(number - 1));
            return;
        } else {
            std::printf("end of file %zu bytes into block %u\n", length, number);
            return;
        }
    }
}

void FileDump::ShowBlock(std::uint32_t number, const DataBlock& block) const {
    char name[sizeof("block 4294967295")];
    std::snprintf(name, sizeof(name), "block %u", static_cast<unsigned>(number));
    ShowField(name);
    PrintHexBytes(block.bytes, kFirstBytesShown);
    std::uint16_t stored = StoredCheckWord(block);
    std::printf(" ...  check word 0x%04X", stored);
    if (IsValid(&block)) {
        std::printf("  valid\n");
    } else {
        std::printf("  INVALID, expected 0x%04X\n", CheckWordFor(block.bytes));
    }
}

void FileDump::ShowTrailer(const std::uint8_t* bytes) const {
    ShowField("trailer");
    PrintHexBytes(bytes, kMarkerSize);
    bool endMarker = std::memcmp(bytes, kEndMarker, kMarkerSize) == 0;
    std::printf(endMarker ? "\n" : "  (not the end marker)\n");
}

void FileDump::ShowField(const char* name) const {
    std::printf("%-12s %10llu  ", name, static_cast<unsigned long long>(m_offset));
}
