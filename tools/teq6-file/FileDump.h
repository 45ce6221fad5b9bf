// Shows the layout of a configuration file: header, signature, one line per block, trailer.
// It walks the file on its own so that it can go on past a bad block, then gives the reader's
// verdict, which says where the program would stop.
#pragma once

#include <cstdint>

#include "BinaryFile.h"
#include "config/DataBlock.h"

class FileDump {
  public:
    explicit FileDump(const char* path);
    FileDump(const FileDump&) = delete;
    FileDump& operator=(const FileDump&) = delete;
    virtual ~FileDump();

    // True when the program would accept the file.
    bool Show();

  private:
    // Each returns false where the file ends.
    bool ShowHeader(BinaryFile* file);
    bool ShowSignature(BinaryFile* file);
    void ShowHexLine(const std::uint8_t* bytes, std::size_t count) const;
    void ShowBlocks(BinaryFile* file);
    void ShowBlock(std::uint32_t number, const DataBlock& block) const;
    void ShowTrailer(const std::uint8_t* bytes) const;
    void ShowField(const char* name) const;

    const char* m_path;
    std::uint64_t m_offset = 0;
};
