#include "tools/teq6-sim/BlockRecorder.h"

BlockRecorder::~BlockRecorder() {
    if (m_file != nullptr) {
        std::fclose(m_file);
    }
}

bool BlockRecorder::Open(const char* path) {
    m_file = std::fopen(path, "wb");
    return m_file != nullptr;
}

bool BlockRecorder::Record(const DataBlock& block) {
    return std::fwrite(block.bytes, 1, kBlockSize, m_file) == kBlockSize &&
           std::fflush(m_file) == 0;
}
