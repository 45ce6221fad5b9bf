#include "FileMaker.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "FileChecker.h"
#include "FileLayout.h"
#include "Plural.h"
#include "config/ConfigFile.h"
#include "config/DataBlock.h"
#include "config/DataBuffer.h"

namespace {
// The header is not interpreted by the program; this text only lets a person recognise the file.
const char kDefaultHeader[] = "TEQ6 configuration";
static_assert(sizeof(kDefaultHeader) <= kHeaderSize, "the default header fits the header");
// A bound on what is read into memory: about 1 GiB of payload, far beyond any configuration.
constexpr std::uint32_t kMostBlocks = 512 * 1024;
}  // namespace

FileMaker::FileMaker(const char* payloadPath, const char* outPath, const char* headerPath)
    : m_payloadPath(payloadPath), m_outPath(outPath), m_headerPath(headerPath) {}

FileMaker::~FileMaker() = default;

bool FileMaker::Make() {
    std::uint8_t header[kHeaderSize] = {};
    DataBuffer blocks;
    if (!FillHeader(header) || !LoadBlocks(&blocks) || !Write(header, blocks) || !ReadsBack()) {
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

// The whole payload is read before the output is opened: the payload may be the output itself.
bool FileMaker::LoadBlocks(DataBuffer* blocks) const {
    BinaryFile payload(m_payloadPath, BinaryFile::Mode::kRead);
    if (!payload.IsOpen()) {
        std::printf("cannot open %s\n", m_payloadPath);
        return false;
    }
    for (;;) {
        if (blocks->Count() == kMostBlocks) {
            std::printf("%s holds more than %u blocks of payload\n", m_payloadPath,
                        static_cast<unsigned>(kMostBlocks));
            return false;
        }
        // Zeroed, so that the last block's padding is zero bytes.
        DataBlock* block = new (std::nothrow) DataBlock{};
        if (block == nullptr) {
            std::printf("out of memory reading %s\n", m_payloadPath);
            return false;
        }
        const std::size_t length = payload.Read(block->bytes, kPayloadSize);
        if (length == 0) {
            delete block;
            break;
        }
        StoreCheckWord(block, CheckWordFor(block->bytes));
        if (!blocks->Add(block)) {
            delete block;
            std::printf("out of memory reading %s\n", m_payloadPath);
            return false;
        }
    }
    if (payload.HasError()) {
        std::printf("cannot read %s\n", m_payloadPath);
        return false;
    }
    return true;
}

bool FileMaker::Write(const std::uint8_t* header, const DataBuffer& blocks) {
    BinaryFile out(m_outPath, BinaryFile::Mode::kWrite);
    if (!out.IsOpen()) {
        std::printf("cannot create %s\n", m_outPath);
        return false;
    }
    bool written = out.Write(header, kHeaderSize) && out.Write(kFileMagic, kMarkerSize);
    for (m_blockCount = 0; written && m_blockCount < blocks.Count(); ++m_blockCount) {
        written = out.Write(blocks.At(m_blockCount)->bytes, kBlockSize);
    }
    written = written && out.Write(kEndMarker, kMarkerSize);
    if (!out.Close() || !written) {
        std::printf("cannot write %s\n", m_outPath);
        return false;
    }
    return true;
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
