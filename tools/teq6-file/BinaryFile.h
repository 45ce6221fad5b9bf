// A file opened for binary reading or writing through stdio, closed on every way out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

class BinaryFile {
  public:
    enum class Mode { kRead, kWrite };

    BinaryFile(const char* path, Mode mode);
    BinaryFile(const BinaryFile&) = delete;
    BinaryFile& operator=(const BinaryFile&) = delete;
    virtual ~BinaryFile();

    bool IsOpen() const { return m_file != nullptr; }
    // Up to length bytes; fewer only at the end of the file or on an error.
    std::size_t Read(std::uint8_t* into, std::size_t length);
    bool Write(const std::uint8_t* from, std::size_t length);
    // Tells a short read that hit an error from one that hit the end of the file.
    bool HasError() const { return std::ferror(m_file) != 0; }
    bool SeekTo(std::uint64_t offset);
    // Reports a write that failed only when the buffered data reached the disk.
    bool Close();

  private:
    std::FILE* m_file;
};
