// One acknowledged exchange: the message goes out, and a short-lived reader thread takes the
// device's reply (ACK or NAK), echoing its printable text on the way.
#include <cstdint>

#include "app/Console.h"
#include "serial/SerialPort.h"

namespace {

constexpr std::uint8_t kFirstPrintable = 0x20;
constexpr std::uint8_t kLastPrintable = 0x7E;
constexpr std::uint32_t kAnnouncePauseMs = 3000;
// About what a serial driver holds: the bytes already received when the time-out ends.
constexpr std::uint32_t kBytesAfterStop = 4096;

bool IsPrintable(std::uint8_t byte) {
    return byte >= kFirstPrintable && byte <= kLastPrintable;
}

// Releases the exchange's events and reader thread on every way out.
class ExchangeResources {
  public:
    ExchangeResources() = default;
    ExchangeResources(const ExchangeResources&) = delete;
    ExchangeResources& operator=(const ExchangeResources&) = delete;
    virtual ~ExchangeResources() {
        if (m_thread != platform::kNoHandle) {
            platform::CloseThread(m_thread);
        }
        if (m_writeEvent != platform::kNoHandle) {
            platform::CloseEvent(m_writeEvent);
        }
    }

    platform::Handle m_writeEvent = platform::kNoHandle;
    platform::Handle m_thread = platform::kNoHandle;
};

}  // namespace

std::uint8_t SerialPort::Exchange(const std::uint8_t* message, std::uint32_t length,
                                  std::uint32_t timeoutMs, bool announce) {
    if (!Open()) {
        return kNoReply;
    }
    m_announce = announce;
    m_reply = kNoReply;
    // Whatever the device sent since the last exchange must not pass for this one's reply.
    platform::PurgePort(m_handle, platform::Purge::kAbortPendingReads);

    ExchangeResources resources;
    resources.m_writeEvent = platform::NewEvent();
    if (resources.m_writeEvent == platform::kNoHandle) {
        return kNoReply;
    }
    m_stopEvent = platform::NewEvent();
    if (m_stopEvent == platform::kNoHandle) {
        return kNoReply;
    }
    resources.m_thread = platform::StartThread(&SerialPort::ReplyReader, this);
    if (resources.m_thread == platform::kNoHandle) {
        platform::CloseEvent(m_stopEvent);
        m_stopEvent = platform::kNoHandle;
        return kNoReply;
    }

    // The reply time-out starts only once the message has left.
    platform::WriteMessage(m_handle, resources.m_writeEvent, message, length);
    platform::WaitOutcome waited = platform::WaitForThread(resources.m_thread, timeoutMs);
    if (waited == platform::WaitOutcome::kTimedOut) {
        console::Print(".");
        console::Flush();
    }
    if (waited != platform::WaitOutcome::kEnded) {
        platform::SignalEvent(m_stopEvent);
    }
    // The reader never outlives its exchange: it reads m_stopEvent and writes m_reply.
    platform::JoinThread(resources.m_thread);

    platform::CloseEvent(m_stopEvent);
    m_stopEvent = platform::kNoHandle;
    return m_reply;
}

// Returns true when the byte ends the exchange.
bool SerialPort::TakeReplyByte(std::uint8_t byte) {
    if (IsPrintable(byte)) {
        console::Print("%c", static_cast<char>(byte));
    }
    if (byte != kAck && byte != kNak) {
        return false;
    }
    m_reply = byte;
    if (m_announce) {
        console::Print("\nPreparing to load TEQ6 data..\n");
        platform::SleepMs(kAnnouncePauseMs);
    }
    return true;
}

std::uint32_t SerialPort::ReplyReader(void* argument) {
    SerialPort* port = static_cast<SerialPort*>(argument);
    platform::Handle readEvent = platform::NewEvent();
    if (readEvent == platform::kNoHandle) {
        // Without it no byte can be read; ending at once would let the connect loop spin.
        platform::WaitForEvent(port->m_stopEvent);
        return 0;
    }
    std::uint32_t takenAfterStop = 0;
    bool stopped = false;
    while (!stopped) {
        // A byte that is there wins over the stop signal, so a reply arriving as the time-out
        // ends still counts; but a device that never stops talking must not hold the reader,
        // and with it the download, for ever.
        if (platform::IsSignalled(port->m_stopEvent) && ++takenAfterStop > kBytesAfterStop) {
            break;
        }
        std::uint8_t byte = 0;
        switch (platform::ReadByte(port->m_handle, readEvent, port->m_stopEvent, &byte)) {
            case platform::ReadOutcome::kByte:
                stopped = port->TakeReplyByte(byte);
                break;
            case platform::ReadOutcome::kNothing:
                break;
            case platform::ReadOutcome::kStopped:
                stopped = true;
                break;
            case platform::ReadOutcome::kFailed:
                // The line is gone: no reply can come, and retrying would only spin.
                platform::WaitForEvent(port->m_stopEvent);
                stopped = true;
                break;
        }
    }
    platform::CloseEvent(readEvent);
    return 0;
}
