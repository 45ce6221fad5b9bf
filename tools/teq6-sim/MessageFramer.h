// Cuts the bytes the program sends into its messages. The line carries no lengths or markers, so
// a message is known by its length and by the silence after it: until the device is connected
// only the 4-byte connect request can come; once connected, a 2,056-byte block, the 6-byte end
// message or a repeated connect request. A block may begin with the bytes of either short
// message, so a short message counts only once the line has fallen silent after it. Bytes that
// make no message by the time the line falls silent are dropped as one framing error.
//
// The framer keeps no clock: its owner reports each silence of the agreed length with IdleGap().
#pragma once

#include <cstddef>
#include <cstdint>

#include "config/DataBlock.h"

enum class FrameEvent {
    kNone,
    kConnectRequest,
    kBlock,
    kEndMessage,
    kFramingError,
};

class MessageFramer {
  public:
    MessageFramer() = default;
    MessageFramer(const MessageFramer&) = delete;
    MessageFramer& operator=(const MessageFramer&) = delete;
    virtual ~MessageFramer() = default;

    // Which messages can come next. Bytes already gathered stay.
    void SetConnected(bool connected) { m_connected = connected; }
    bool IsConnected() const { return m_connected; }

    FrameEvent Feed(std::uint8_t byte);
    // The line has been silent for the idle gap since the last byte fed.
    FrameEvent IdleGap();

    // Whether a silence now would end something: a message in progress or bytes being dropped.
    bool IsAssembling() const { return m_length > 0 || m_discarding > 0; }
    // Bytes of the message in progress.
    std::size_t PendingLength() const { return m_length; }
    // The last block recognised; valid until the next byte is fed.
    const DataBlock& LastBlock() const { return m_message; }
    // Bytes dropped by the last framing error.
    std::size_t DiscardedLength() const { return m_discardedLength; }

  private:
    FrameEvent FeedUnconnected(std::uint8_t byte);
    FrameEvent FeedConnected(std::uint8_t byte);
    bool PendingEquals(const std::uint8_t* message, std::size_t length) const;
    FrameEvent Recognise(FrameEvent event);
    FrameEvent Discard(std::size_t length);

    DataBlock m_message{};
    std::size_t m_length = 0;
    // Bytes dropped so far in the burst that is being thrown away.
    std::size_t m_discarding = 0;
    std::size_t m_discardedLength = 0;
    bool m_connected = false;
};
