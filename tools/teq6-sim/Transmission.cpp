#include "tools/teq6-sim/Transmission.h"

#include <cassert>
#include <cstring>
#include <new>

Transmission::~Transmission() {
    delete[] m_bytes;
}

bool Transmission::Reserve(std::size_t capacity) {
    std::uint8_t* bytes = new (std::nothrow) std::uint8_t[capacity];
    if (bytes == nullptr) {
        return false;
    }
    delete[] m_bytes;
    m_bytes = bytes;
    m_capacity = capacity;
    Clear();
    return true;
}

void Transmission::Clear() {
    m_length = 0;
    m_sent = 0;
    m_replyAt = 0;
    m_hasReply = false;
}

void Transmission::Append(const std::uint8_t* bytes, std::size_t length) {
    assert(m_length + length <= m_capacity);
    std::memcpy(m_bytes + m_length, bytes, length);
    m_length += length;
}

void Transmission::AppendByte(std::uint8_t byte) {
    Append(&byte, 1);
}

void Transmission::AppendReply(std::uint8_t reply) {
    m_replyAt = m_length;
    m_hasReply = true;
    AppendByte(reply);
}

std::size_t Transmission::NextChunk(const std::uint8_t** bytes) const {
    *bytes = m_bytes + m_sent;
    if (m_hasReply && m_sent < m_replyAt) {
        return m_replyAt - m_sent;
    }
    return m_length - m_sent;
}

void Transmission::Advance(std::size_t written) {
    m_sent += written;
}
