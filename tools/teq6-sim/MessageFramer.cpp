#include "tools/teq6-sim/MessageFramer.h"

#include <cstring>

#include "tools/teq6-sim/Wire.h"

FrameEvent MessageFramer::Feed(std::uint8_t byte) {
    if (m_discarding > 0) {
        ++m_discarding;
        return FrameEvent::kNone;
    }
    return m_connected ? FeedConnected(byte) : FeedUnconnected(byte);
}

// Before the connection only connect requests are due. Anything else is noise or the rest of a
// session the device has forgotten; it is thrown away whole once the line falls silent, rather
// than hunted through for something that looks like a connect request.
FrameEvent MessageFramer::FeedUnconnected(std::uint8_t byte) {
    if (byte != wire::kConnectRequest[m_length]) {
        const std::size_t dropped = m_length + 1;
        m_length = 0;
        m_discarding = dropped;
        return FrameEvent::kNone;
    }
    ++m_length;
    if (m_length < wire::kConnectRequestSize) {
        return FrameEvent::kNone;
    }
    return Recognise(FrameEvent::kConnectRequest);
}

FrameEvent MessageFramer::FeedConnected(std::uint8_t byte) {
    m_message.bytes[m_length] = byte;
    ++m_length;
    if (m_length < kBlockSize) {
        return FrameEvent::kNone;
    }
    return Recognise(FrameEvent::kBlock);
}

FrameEvent MessageFramer::IdleGap() {
    if (m_discarding > 0) {
        const std::size_t dropped = m_discarding;
        m_discarding = 0;
        return Discard(dropped);
    }
    if (m_length == 0) {
        return FrameEvent::kNone;
    }
    if (m_connected && PendingEquals(wire::kConnectRequest, wire::kConnectRequestSize)) {
        return Recognise(FrameEvent::kConnectRequest);
    }
    if (m_connected && PendingEquals(wire::kEndMessage, wire::kEndMessageSize)) {
        return Recognise(FrameEvent::kEndMessage);
    }
    const std::size_t dropped = m_length;
    m_length = 0;
    return Discard(dropped);
}

bool MessageFramer::PendingEquals(const std::uint8_t* message, std::size_t length) const {
    return m_length == length && std::memcmp(m_message.bytes, message, length) == 0;
}

FrameEvent MessageFramer::Recognise(FrameEvent event) {
    m_length = 0;
    return event;
}

FrameEvent MessageFramer::Discard(std::size_t length) {
    m_discardedLength = length;
    return FrameEvent::kFramingError;
}
