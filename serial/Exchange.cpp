// One acknowledged exchange: the message goes out, and a short-lived reader thread takes the
// device's reply (ACK or NAK), echoing its printable text on the way.
#include <algorithm>
#include <cstdint>

#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/Port.h"
#include "platform/Threads.h"
#include "serial/SerialPort.h"

namespace {

constexpr std::uint32_t kAnnouncePauseMs = 3000;
// About what a serial driver holds: the bytes already received when the time-out ends.
constexpr std::uint32_t kBytesAfterStop = 4096;
// On the wire a byte is a start bit, 8 data bits and a stop bit.
constexpr std::uint64_t kBitsPerByte = 10;
constexpr std::uint64_t kMsPerSecond = 1000;
constexpr std::uint64_t kWireTimeFactor = 2;
constexpr std::uint32_t kWriteMarginMs = 5000;
// A wait the platforms can express however slow the rate.
constexpr std::uint64_t kLongestWriteLimitMs = 0x7FFFFFFF;

void PrintTimeoutDot() {
    console::Print(".");
    console::Flush();
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
    if (!OpenConfigured()) {
        return Unanswered(timeoutMs);
    }
    m_announce = announce;
    m_reply = kNoReply;
    m_writeHeld = false;
    // Whatever the device sent since the last exchange must not pass for this one's reply.
    platform::PurgePort(m_handle, platform::Purge::kAbortPendingReads);

    ExchangeResources resources;
    resources.m_writeEvent = platform::NewEvent();
    if (resources.m_writeEvent == platform::kNoHandle) {
        return Unanswered(timeoutMs);
    }
    m_stopEvent = platform::NewEvent();
    if (m_stopEvent == platform::kNoHandle) {
        return Unanswered(timeoutMs);
    }
    resources.m_thread = platform::StartThread(&SerialPort::ReplyReader, this);
    if (resources.m_thread == platform::kNoHandle) {
        platform::CloseEvent(m_stopEvent);
        m_stopEvent = platform::kNoHandle;
        return Unanswered(timeoutMs);
    }

    // The reply time-out starts only once the message has left. A message that flow control
    // holds back past its limit is not waited for any longer: the attempt went unanswered, unless
    // the reader has the reply already.
    const platform::WriteOutcome written = platform::WriteMessage(
        m_handle, resources.m_writeEvent, message, length, WriteLimitMs(length, timeoutMs));
    const std::uint64_t sentAtMs = platform::NowMs();
    const bool held = written == platform::WriteOutcome::kHeld;
    m_writeHeld = held;
    platform::WaitOutcome waited = platform::WaitOutcome::kTimedOut;
    if (!held) {
        waited = platform::WaitForThread(resources.m_thread, timeoutMs);
        if (waited == platform::WaitOutcome::kTimedOut) {
            PrintTimeoutDot();
        }
    }
    if (waited != platform::WaitOutcome::kEnded) {
        platform::SignalEvent(m_stopEvent);
    }
    // The reader never outlives its exchange: it reads m_stopEvent and writes m_reply. Only a
    // reader stuck in a driver call that never returns is left behind: the port is then taken
    // for gone (closing it ends that call), and the reader keeps its stop signal.
    const bool joined = platform::JoinThread(resources.m_thread);
    // A reply read while the write was held answers the attempt, so only the reader can say
    // whether it went unanswered.
    if (held && m_reply == kNoReply) {
        PrintTimeoutDot();
    }

    if (joined) {
        platform::CloseEvent(m_stopEvent);
    }
    m_stopEvent = platform::kNoHandle;
    // Only now: the reader may have found the port gone as well.
    m_gone = m_gone || !joined || written == platform::WriteOutcome::kGone;
    const bool goneWithoutReply = m_gone && m_reply == kNoReply;
    // At once, not at the end of the attempt: an adapter plugged back in within seconds must
    // find its old name free, or it comes back under another one.
    LetGoIfGone();
    if (goneWithoutReply && waited == platform::WaitOutcome::kEnded) {
        return Unanswered(RemainingMs(sentAtMs, timeoutMs));
    }
    return m_reply;
}

std::uint32_t SerialPort::RemainingMs(std::uint64_t sinceMs, std::uint32_t timeoutMs) {
    const std::uint64_t spent = platform::NowMs() - sinceMs;
    return spent >= timeoutMs ? 0 : static_cast<std::uint32_t>(timeoutMs - spent);
}

std::uint8_t SerialPort::Unanswered(std::uint32_t timeoutMs) {
    platform::SleepMs(timeoutMs);
    PrintTimeoutDot();
    m_reply = kNoReply;
    return kNoReply;
}

// Flow control may pause the line for a while without anything being wrong: a device may pace
// its input for as long as it may take to answer (a CDC-ACM device whose rate is nominal, one
// that holds CTS while it writes its flash). And drivers and adapters finish a write when the
// bytes are handed over, not when they are on the wire. So the limit is twice the message's time
// on the wire at the port's rate, plus the longer of a margin for scheduling and USB latency and
// the exchange's own time-out: at 115200 baud a block gets about 10.4 s, at 9600 about 14.3 s.
std::uint32_t SerialPort::WriteLimitMs(std::uint32_t length, std::uint32_t timeoutMs) const {
    const std::uint64_t margin = std::max(kWriteMarginMs, timeoutMs);
    if (m_baudRate == 0) {
        return static_cast<std::uint32_t>(margin);
    }
    const std::uint64_t wireMs =
        (static_cast<std::uint64_t>(length) * kBitsPerByte * kMsPerSecond + m_baudRate - 1) /
        m_baudRate;
    const std::uint64_t limit = wireMs * kWireTimeFactor + margin;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(limit, kLongestWriteLimitMs));
}

// Returns true when the byte ends the exchange.
bool SerialPort::TakeReplyByte(std::uint8_t byte) {
    m_heardAnything = true;
    if (console::IsPrintable(byte)) {
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
    // Without its own event a read may not be possible (Windows): the attempt then waits out its
    // time-out like any exchange that could not be set up.
    platform::Handle readEvent = platform::NewEvent();
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
            case platform::ReadOutcome::kGone:
                // The exchange lets go of the port as soon as this reader has ended.
                port->m_gone = true;
                stopped = true;
                break;
            case platform::ReadOutcome::kFailed:
                // No reply can come, and retrying would only spin.
                platform::WaitForEvent(port->m_stopEvent);
                stopped = true;
                break;
        }
    }
    if (readEvent != platform::kNoHandle) {
        platform::CloseEvent(readEvent);
    }
    return 0;
}
