#include "FileChecker.h"

#include <cstdio>
#include <cstring>

#include "BinaryFile.h"
#include "FileLayout.h"
#include "HexBytes.h"
#include "Plural.h"
#include "config/DataBlock.h"

FileChecker::FileChecker(const char* path) : m_path(path) {}

FileChecker::~FileChecker() = default;

ResultCode FileChecker::Check() {
    m_result = ReadConfigFile(m_path, &m_store, &m_report);
    return m_result;
}

void FileChecker::PrintVerdict() const {
    if (m_result == Success) {
        PrintValid();
        return;
    }
    PrintRefusal();
    std::printf("TELVORN would report: %s\n", ErrorText(m_result));
}

// The program takes any four bytes as the trailer once a block is stored; say so when it did.
void FileChecker::PrintValid() const {
    unsigned count = m_store.Count();
    std::printf("valid: %u block%s", count, Plural(count));
    std::uint8_t trailer[kMarkerSize];
    if (ReadBack(BlockOffset(count + 1), trailer, kMarkerSize) == kMarkerSize &&
        std::memcmp(trailer, kEndMarker, kMarkerSize) != 0) {
        std::printf(" (trailer ");
        PrintHexBytes(trailer, kMarkerSize);
        std::printf(", not the end marker)");
    }
    std::printf("\n");
}

void FileChecker::PrintRefusal() const {
    switch (m_report.stop) {
        case LoadStop::kOpen:
            std::printf("cannot open %s\n", m_path);
            break;
        case LoadStop::kHeader:
            PrintShortHeader();
            break;
        case LoadStop::kSignature:
            PrintBadSignature();
            break;
        case LoadStop::kBlock:
        case LoadStop::kTrailer:
            PrintBlockProblem();
            break;
    }
}

void FileChecker::PrintShortHeader() const {
    std::uint8_t header[kHeaderSize];
    std::size_t length = ReadBack(0, header, kHeaderSize);
    std::printf("invalid: header shorter than %zu bytes (the file holds %zu)\n", kHeaderSize,
                length);
}

void FileChecker::PrintBadSignature() const {
    std::uint8_t signature[kMarkerSize];
    std::size_t length = ReadBack(kSignatureOffset, signature, kMarkerSize);
    if (length == 0) {
        std::printf("invalid: no signature after the header\n");
        return;
    }
    if (length < kMarkerSize) {
        std::printf("invalid: file ends %zu bytes into the signature\n", length);
        return;
    }
    std::printf("invalid: signature is ");
    PrintHexBytes(signature, kMarkerSize);
    std::printf(", expected ");
    PrintHexBytes(kFileMagic, kMarkerSize);
    std::printf("\n");
}

void FileChecker::PrintBlockProblem() const {
    switch (m_result) {
        case ReadError:
            PrintShortRead();
            break;
        case InvalidFile:
            PrintBadCheckWord();
            break;
        default:
            std::printf("cannot check %s: %s at block %u\n", m_path, ErrorText(m_result),
                        static_cast<unsigned>(StoppedBlock()));
            break;
    }
}

void FileChecker::PrintShortRead() const {
    std::size_t length = m_report.lastReadLength;
    if (length == kMarkerSize) {
        PrintLoneTrailer();
    } else if (length > 0) {
        PrintCutBlock(length);
    } else if (m_store.Count() == 0) {
        std::printf("invalid: no trailer after the signature\n");
    } else {
        std::printf("invalid: no trailer after block %u\n", static_cast<unsigned>(m_store.Count()));
    }
}

// A trailer with more bytes after it reads as a block cut short; point at the likelier cause.
void FileChecker::PrintCutBlock(std::size_t length) const {
    unsigned number = StoppedBlock();
    std::printf("invalid: file ends %zu bytes into block %u", length, number);
    std::uint8_t start[kMarkerSize];
    if (length > kMarkerSize && ReadBack(BlockOffset(number), start, kMarkerSize) == kMarkerSize &&
        std::memcmp(start, kEndMarker, kMarkerSize) == 0) {
        std::printf(" (the end marker and %zu more bytes)", length - kMarkerSize);
    }
    std::printf("\n");
}

// Only the end marker may end a file that holds no block.
void FileChecker::PrintLoneTrailer() const {
    std::uint8_t trailer[kMarkerSize];
    if (ReadBack(kFirstBlockOffset, trailer, kMarkerSize) < kMarkerSize) {
        std::printf("invalid: file ends %zu bytes into block 1\n", kMarkerSize);
        return;
    }
    std::printf("invalid: trailer ");
    PrintHexBytes(trailer, kMarkerSize);
    std::printf(" with no block before it, expected ");
    PrintHexBytes(kEndMarker, kMarkerSize);
    std::printf("\n");
}

void FileChecker::PrintBadCheckWord() const {
    unsigned number = StoppedBlock();
    DataBlock block;
    if (ReadBack(BlockOffset(number), block.bytes, kBlockSize) < kBlockSize) {
        std::printf("invalid: block %u: check word does not match its payload\n", number);
        return;
    }
    std::printf("invalid: block %u: check word 0x%04X, expected 0x%04X\n", number,
                StoredCheckWord(block), CheckWordFor(block.bytes));
}

std::size_t FileChecker::ReadBack(std::uint64_t offset, std::uint8_t* into,
                                  std::size_t length) const {
    BinaryFile file(m_path, BinaryFile::Mode::kRead);
    if (!file.IsOpen() || !file.SeekTo(offset)) {
        return 0;
    }
    return file.Read(into, length);
}
