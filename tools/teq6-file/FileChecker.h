// Judges a configuration file with the program's own reader, so that the verdict and the
// program agree on every file, and explains a refusal by re-reading the bytes where it stopped.
#pragma once

#include <cstdint>

#include "config/ConfigFile.h"
#include "config/DataBuffer.h"
#include "config/ResultCode.h"

class FileChecker {
  public:
    explicit FileChecker(const char* path);
    FileChecker(const FileChecker&) = delete;
    FileChecker& operator=(const FileChecker&) = delete;
    virtual ~FileChecker();

    ResultCode Check();
    std::uint32_t BlockCount() const { return m_store.Count(); }
    // "valid: N blocks", or why the file is refused followed by what the program would report.
    void PrintVerdict() const;

  private:
    void PrintValid() const;
    void PrintRefusal() const;
    void PrintShortHeader() const;
    void PrintBadSignature() const;
    void PrintBlockProblem() const;
    void PrintShortRead() const;
    void PrintCutBlock(std::size_t length) const;
    void PrintLoneTrailer() const;
    void PrintBadCheckWord() const;
    std::size_t ReadBack(std::uint64_t offset, std::uint8_t* into, std::size_t length) const;
    // The block the reader was reading when it stopped, numbered from 1.
    std::uint32_t StoppedBlock() const { return m_store.Count() + 1; }

    const char* m_path;
    DataBuffer m_store;
    LoadReport m_report;
    ResultCode m_result = Success;
};
