#include "config/DataBuffer.h"

#include <cassert>
#include <new>

DataBuffer::~DataBuffer() {
    Clear();
    delete[] m_buffers;
}

bool DataBuffer::Grow() {
    DataBlock** grown = new (std::nothrow) DataBlock*[m_capacity + kGrowthStep];
    if (grown == nullptr) {
        return false;
    }
    for (std::uint32_t i = 0; i < m_capacity + kGrowthStep; ++i) {
        grown[i] = i < m_count ? m_buffers[i] : nullptr;
    }
    delete[] m_buffers;
    m_buffers = grown;
    m_capacity += kGrowthStep;
    return true;
}

bool DataBuffer::Add(DataBlock* block) {
    if (block == nullptr) {
        return false;
    }
    if (m_count == m_capacity && !Grow()) {
        return false;
    }
    assert(m_buffers != nullptr);
    m_buffers[m_count] = block;
    ++m_count;
    return true;
}

DataBlock* DataBuffer::At(std::uint32_t index) const {
    return index < m_count ? m_buffers[index] : nullptr;
}

void DataBuffer::Clear() {
    for (std::uint32_t i = 0; i < m_count; ++i) {
        delete m_buffers[i];
        m_buffers[i] = nullptr;
    }
    m_count = 0;
}
