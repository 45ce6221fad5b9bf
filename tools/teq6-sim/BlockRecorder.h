// The file that receives every accepted block, in the order accepted, so that a test can compare
// what the device took with the configuration file byte for byte.
#pragma once

#include <cstdio>

#include "config/DataBlock.h"

class BlockRecorder {
  public:
    BlockRecorder() = default;
    BlockRecorder(const BlockRecorder&) = delete;
    BlockRecorder& operator=(const BlockRecorder&) = delete;
    virtual ~BlockRecorder();

    // Creates or empties the file.
    bool Open(const char* path);
    bool IsOpen() const { return m_file != nullptr; }
    // Each block reaches the file at once: a test may look while the device is still running.
    bool Record(const DataBlock& block);

  private:
    std::FILE* m_file = nullptr;
};
