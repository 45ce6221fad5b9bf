#include "FileMaker.h"

#include <cstdio>
#include <cstring>

#include "FileChecker.h"
#include "FileLayout.h"
#include "Plural.h"
#include "config/ConfigFile.h"
#include "config/DataBlock.h"

namespace {
// The header is not interpreted by the program; this text only lets a person recognise the file.
const char kDefaultHeader[] = "TEQ6 configuration";
static_assert(sizeof(kDefaultHeader) <= kHeaderSize, "the default header fits the header");
}  // namespace

FileMaker::FileMaker(const char* payloadPath, const char* outPath, const char* headerPath)
    : m_payloadPath(payloadPath), m_outPath(outPath), m_headerPath(headerPath) {}

FileMaker::~FileMaker() = default;

bool FileMaker::Make() {
    std::uint8_t header[kHeaderSize] = {};
    if (!FillHeader(header)) {
        return false;
    }
    BinaryFile payload(m_payloadPath, BinaryFile::Mode::kRead);
    if (!payload.IsOpen()) {
        std::printf("cannot open %s\n", m_payloadPath);
        return false;
    }
    if (!Write(&payload, header) || !ReadsBack()) {
        return false;
    }
    std::printf("wrote %s: %u block%s, %llu bytes\n", m_outPath,
                static_cast<unsigned>(m_blockCount), Plural(m_blockCount),
                static_cast<unsigned long long>(FileSizeFor(m_blockCount)));
    return true;
}

// A header file must hold exactly the header, so that a wrong file is not silently cut.
bool FileMaker::FillHeader(std::uint8_t* header) const {
    if (m_headerPath == nullptr) {
        std::memcpy(header, kDefaultHeader, sizeof(kDefaultHeader));
        return true;
    }
    BinaryFile file(m_headerPath, BinaryFile::Mode::kRead);
    if (!file.IsOpen()) {
        std::printf("cannot open %s\n", m_headerPath);
        return false;
    }
    std::uint8_t probe[kHeaderSize + 1];
    if (file.Read(probe, sizeof(probe)) != kHeaderSize) {
        std::printf("%s must hold exactly %zu bytes\n", m_headerPath, kHeaderSize);
        return false;
    }
    std::memcpy(header, probe, kHeaderSize);
    return true;
}

bool FileMaker::Write(BinaryFile* payload, const std::uint8_t* header) {
    BinaryFile out(m_outPath, BinaryFile::Mode::kWrite);
    if (!out.IsOpen()) {
        std::printf("cannot create %s\n", m_outPath);
        return false;
    }
    bool written = out.Write(header, kHeaderSize) && out.Write(kFileMagic, kMarkerSize) &&
                   WriteBlocks(payload, &out) && out.Write(kEndMarker, kMarkerSize);
    if (!out.Close() || !written) {
        std::printf("cannot write %s\n", m_outPath);
        return false;
    }
    return true;
}

// Streams the payload block by block, so a large file never has to fit in memory.
bool FileMaker::WriteBlocks(BinaryFile* payload, BinaryFile* out) {
    m_blockCount = 0;
    DataBlock block;
    std::size_t length;
    while ((length = payload->Read(block.bytes, kPayloadSize)) > 0) {
        std::memset(block.bytes + length, 0, kPayloadSize - length);
        StoreCheckWord(&block, CheckWordFor(block.bytes));
        if (!out->Write(block.bytes, kBlockSize)) {
            return false;
        }
        ++m_blockCount;
    }
    return !payload->HasError();
}

bool FileMaker::ReadsBack() const {
    FileChecker checker(m_outPath);
    if (checker.Check() == Success && checker.BlockCount() == m_blockCount) {
        return true;
    }
    std::printf("wrote %s, but it does not read back as %u block%s:\n", m_outPath,
                static_cast<unsigned>(m_blockCount), Plural(m_blockCount));
    checker.PrintVerdict();
    return false;
}
