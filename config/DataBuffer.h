// The in-memory store of the blocks read from a configuration file, in file order. It owns its
// blocks and grows its array of pointers by a fixed step.
#pragma once

#include <cstdint>

#include "config/DataBlock.h"

class DataBuffer {
  public:
    static constexpr std::uint32_t kGrowthStep = 10;

    DataBuffer() = default;
    DataBuffer(const DataBuffer&) = delete;
    DataBuffer& operator=(const DataBuffer&) = delete;
    virtual ~DataBuffer();

    // Takes ownership of block on success. A null block, or a failed growth, is refused.
    bool Add(DataBlock* block);
    DataBlock* At(std::uint32_t index) const;
    std::uint32_t Count() const { return m_count; }
    std::uint32_t Capacity() const { return m_capacity; }
    // Frees every block; the array and its capacity remain.
    void Clear();

  private:
    bool Grow();

    std::uint32_t m_capacity = 0;
    std::uint32_t m_count = 0;
    DataBlock** m_buffers = nullptr;
};
