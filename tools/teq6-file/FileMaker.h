// Makes a configuration file from a payload: the payload is cut into block payloads (the last
// one padded with zeros), each block gets its check word, and the file gets its header,
// signature and end marker. The written file is then read back with the program's own reader.
#pragma once

#include <cstdint>

#include "BinaryFile.h"
#include "config/DataBuffer.h"

class FileMaker {
  public:
    // headerPath may be null: the header is then kDefaultHeader, padded with zeros.
    FileMaker(const char* payloadPath, const char* outPath, const char* headerPath);
    FileMaker(const FileMaker&) = delete;
    FileMaker& operator=(const FileMaker&) = delete;
    virtual ~FileMaker();

    // Says what it wrote, or why it could not; true when the written file reads back whole.
    bool Make();

  private:
    bool FillHeader(std::uint8_t* header) const;
    bool LoadBlocks(DataBuffer* blocks) const;
    bool Write(const std::uint8_t* header, const DataBuffer& blocks);
    bool ReadsBack() const;

    const char* m_payloadPath;
    const char* m_outPath;
    const char* m_headerPath;
    std::uint32_t m_blockCount = 0;
};
