#include "BinaryFile.h"

#include <limits>

#include "platform/RegularFile.h"

namespace {
// fseek takes a long, which is 32 bits on Windows: larger offsets are reached in steps.
constexpr std::uint64_t kLargestSeek = std::numeric_limits<long>::max();
}  // namespace

// What is read must be a regular file: a FIFO would wait for a writer, a device such as /dev/zero
// would never end.
BinaryFile::BinaryFile(const char* path, Mode mode)
    : m_file(mode == Mode::kWrite            ? std::fopen(path, "wb")
             : platform::IsRegularFile(path) ? std::fopen(path, "rb")
                                             : nullptr) {}

BinaryFile::~BinaryFile() {
    Close();
}

std::size_t BinaryFile::Read(std::uint8_t* into, std::size_t length) {
    return std::fread(into, 1, length, m_file);
}

bool BinaryFile::Write(const std::uint8_t* from, std::size_t length) {
    return std::fwrite(from, 1, length, m_file) == length;
}

bool BinaryFile::SeekTo(std::uint64_t offset) {
    if (std::fseek(m_file, 0, SEEK_SET) != 0) {
        return false;
    }
    while (offset > 0) {
        std::uint64_t step = offset < kLargestSeek ? offset : kLargestSeek;
        if (std::fseek(m_file, static_cast<long>(step), SEEK_CUR) != 0) {
            return false;
        }
        offset -= step;
    }
    return true;
}

bool BinaryFile::Close() {
    if (m_file == nullptr) {
        return true;
    }
    bool closed = std::fclose(m_file) == 0;
    m_file = nullptr;
    return closed;
}
