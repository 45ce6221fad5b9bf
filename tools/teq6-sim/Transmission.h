// The bytes of one answer on their way out: the device's chatter, then its reply byte, then
// perhaps bytes left over on the line. Sized once for the largest answer the device can give.
#pragma once

#include <cstddef>
#include <cstdint>

class Transmission {
  public:
    Transmission() = default;
    Transmission(const Transmission&) = delete;
    Transmission& operator=(const Transmission&) = delete;
    virtual ~Transmission();

    bool Reserve(std::size_t capacity);
    void Clear();
    void Append(const std::uint8_t* bytes, std::size_t length);
    void AppendByte(std::uint8_t byte);
    // The reply byte; whatever follows it goes out in the same write as the reply.
    void AppendReply(std::uint8_t reply);

    bool IsSent() const { return m_sent == m_length; }
    // The bytes to write next. A write never runs from the chatter into the reply, so that the
    // reply and what trails it reach the program together.
    std::size_t NextChunk(const std::uint8_t** bytes) const;
    void Advance(std::size_t written);

  private:
    std::uint8_t* m_bytes = nullptr;
    std::size_t m_capacity = 0;
    std::size_t m_length = 0;
    std::size_t m_sent = 0;
    std::size_t m_replyAt = 0;
    bool m_hasReply = false;
};
