#include "config/ConfigFile.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "platform/RegularFile.h"

namespace {

// Closes the stream on every way out of the reader.
class OpenFile {
  public:
    // What is not a regular file cannot be found as a configuration file.
    explicit OpenFile(const char* path)
        : m_file(platform::IsRegularFile(path) ? std::fopen(path, "rb") : nullptr) {}
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    virtual ~OpenFile() {
        if (m_file != nullptr) {
            std::fclose(m_file);
        }
    }
    std::FILE* Stream() const { return m_file; }

  private:
    std::FILE* m_file;
};

bool ReadExactly(std::FILE* file, std::uint8_t* into, std::size_t length) {
    return std::fread(into, 1, length, file) == length;
}

ResultCode Stop(LoadReport* report, LoadStop where, ResultCode code) {
    if (report != nullptr) {
        report->stop = where;
    }
    return code;
}

// A 4-byte read where a block should be is the trailer. The end marker always ends the file;
// once a block is stored any four bytes do, as files in the field rely on it.
bool IsTrailer(const DataBlock& read, std::size_t length, const DataBuffer& store) {
    return length == kMarkerSize &&
           (std::memcmp(read.bytes, kEndMarker, kMarkerSize) == 0 || store.Count() > 0);
}

}  // namespace

ResultCode ReadConfigFile(const char* path, DataBuffer* store, LoadReport* report) {
    LoadReport ignored;
    LoadReport* where = report != nullptr ? report : &ignored;
    OpenFile file(path);
    std::FILE* stream = file.Stream();
    if (stream == nullptr) {
        return Stop(where, LoadStop::kOpen, FileNotFound);
    }
    std::uint8_t header[kHeaderSize];
    if (!ReadExactly(stream, header, kHeaderSize)) {
        return Stop(where, LoadStop::kHeader, InvalidFile);
    }
    std::uint8_t signature[kMarkerSize];
    if (!ReadExactly(stream, signature, kMarkerSize) ||
        std::memcmp(signature, kFileMagic, kMarkerSize) != 0) {
        return Stop(where, LoadStop::kSignature, InvalidFile);
    }
    store->Clear();
    // The stream's end-of-file indicator is set only by a read that runs into the end, so a file
    // that ends right after a block makes one more, empty, read: the trailer is what ends a file.
    while (!std::feof(stream)) {
        DataBlock* block = new (std::nothrow) DataBlock;
        if (block == nullptr) {
            return Stop(where, LoadStop::kBlock, OutOfMemory);
        }
        where->lastReadLength = std::fread(block->bytes, 1, kBlockSize, stream);
        if (IsTrailer(*block, where->lastReadLength, *store)) {
            delete block;
            return Stop(where, LoadStop::kTrailer, Success);
        }
        ResultCode refused = Success;
        if (where->lastReadLength != kBlockSize) {
            refused = ReadError;
        } else if (!IsValid(block)) {
            refused = InvalidFile;
        } else if (!store->Add(block)) {
            refused = OutOfMemory;
        }
        if (refused != Success) {
            delete block;
            return Stop(where, LoadStop::kBlock, refused);
        }
    }
    return Stop(where, LoadStop::kTrailer, Success);
}
