// ReadByte and WriteMessage on the port end of a linked terminal, open and raw as an exchange
// uses it, with the test on the master. Calls that would hang if wrong run on a thread of their
// own.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "LineDouble.h"
#include "LinkedTerminal.h"
#include "serial/Platform.h"

namespace {

using platform::ReadOutcome;
using platform::WriteOutcome;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kAck = 0x06;
// Well beyond what a pseudo-terminal buffers, so that the writer has to wait for room.
constexpr std::size_t kLongMessageSize = 2 * 1024 * 1024;
// Long enough for a read or write that wrongly returns at once to have done so.
constexpr std::uint32_t kStillWaitingMs = 100;
constexpr std::uint32_t kNoLimitMs = 60000;

class ExchangeLine : public ::testing::Test {
  protected:
    void Open(std::uint32_t number) {
        m_terminal.reset(new LinkedTerminal(number));
        ASSERT_TRUE(m_terminal->IsReady());
        m_port = platform::OpenPort(m_terminal->DeviceName());
        ASSERT_NE(platform::kNoHandle, m_port);
        ASSERT_TRUE(platform::SetLineSettings(m_port, 9600));
        m_stop = platform::NewEvent();
        ASSERT_NE(platform::kNoHandle, m_stop);
    }
    void TearDown() override {
        if (m_stop != platform::kNoHandle) {
            platform::CloseEvent(m_stop);
        }
        if (m_port != platform::kNoHandle) {
            platform::ClosePort(m_port);
        }
    }
    int Master() const { return m_terminal->Master(); }
    WriteOutcome Write(const Bytes& message, std::uint32_t limitMs) {
        return platform::WriteMessage(m_port, platform::kNoHandle, message.data(),
                                      static_cast<std::uint32_t>(message.size()), limitMs);
    }
    ReadOutcome Read() { return platform::ReadByte(m_port, platform::kNoHandle, m_stop, &m_byte); }

    // Starts Read, or with a message Write, on a thread.
    void Start(Bytes message = {}) {
        m_message = message;
        m_body = [this] {
            if (m_message.empty()) {
                m_read = Read();
            } else {
                m_written = Write(m_message, kNoLimitMs);
            }
        };
        m_thread = StartBody(&m_body);
        ASSERT_NE(platform::kNoHandle, m_thread);
    }
    bool StillWaiting() const {
        return platform::WaitForThread(m_thread, kStillWaitingMs) ==
               platform::WaitOutcome::kTimedOut;
    }

    std::unique_ptr<LinkedTerminal> m_terminal;
    platform::Handle m_port = platform::kNoHandle;
    platform::Handle m_stop = platform::kNoHandle;
    platform::Handle m_thread = platform::kNoHandle;
    std::function<void()> m_body;
    Bytes m_message;
    std::uint8_t m_byte = 0;
    ReadOutcome m_read = ReadOutcome::kNothing;
    WriteOutcome m_written = WriteOutcome::kFailed;
};

}  // namespace

TEST_F(ExchangeLine, ReadWaitsForAByteOrTheStopSignalAndTakesAWaitingByteFirst) {
    ASSERT_NO_FATAL_FAILURE(Open(113));
    Start();
    EXPECT_TRUE(StillWaiting());
    ASSERT_EQ(1, write(Master(), &kAck, 1));
    AwaitEnd(m_thread);
    EXPECT_EQ(ReadOutcome::kByte, m_read);
    EXPECT_EQ(kAck, m_byte);

    Start();
    EXPECT_TRUE(StillWaiting());
    platform::SignalEvent(m_stop);
    AwaitEnd(m_thread);
    EXPECT_EQ(ReadOutcome::kStopped, m_read);

    // The stop signal stays signalled; a byte that waits is still taken first.
    ASSERT_EQ(1, write(Master(), "\x15", 1));
    ASSERT_TRUE(BecomesReadable(static_cast<int>(m_port)));
    EXPECT_EQ(ReadOutcome::kByte, Read());
    EXPECT_EQ(0x15, m_byte);
    EXPECT_EQ(ReadOutcome::kStopped, Read());
    EXPECT_EQ(ReadOutcome::kStopped, Read());
}

TEST_F(ExchangeLine, MessagesArriveByteForByteAndWholeAfterWaitingForRoom) {
    ASSERT_NO_FATAL_FAILURE(Open(114));
    // Line ends, XON/XOFF and other control bytes that a cooked terminal would alter or act on.
    const Bytes message = {0x0A, 0x0D, 0x13, 0x11, 0x00, 0x03, 0x7F, 0xFF, 0x06, 0x15, 0x0A};
    ASSERT_EQ(WriteOutcome::kWritten, Write(message, kNoLimitMs));
    EXPECT_EQ(message, m_terminal->Receive(message.size()));
    // A prime period never lines up with a buffer size, so a lost or repeated chunk shows.
    Bytes pattern(kLongMessageSize);
    for (std::size_t i = 0; i < kLongMessageSize; ++i) {
        pattern[i] = static_cast<std::uint8_t>(i % 251);
    }
    Start(pattern);
    EXPECT_EQ(m_message, m_terminal->Receive(kLongMessageSize));
    AwaitEnd(m_thread);
    EXPECT_EQ(WriteOutcome::kWritten, m_written);
}

// A line whose output is stopped (flow control, or another program's tcflow()) holds the write;
// it is given up at its limit, and the line works again once it is released.
TEST_F(ExchangeLine, AStoppedLineHoldsTheWriteOnlyUntilItsLimit) {
    ASSERT_NO_FATAL_FAILURE(Open(116));
    ASSERT_EQ(0, tcflow(static_cast<int>(m_port), TCOOFF));
    EXPECT_EQ(WriteOutcome::kHeld, Write({kAck}, kStillWaitingMs));
    ASSERT_EQ(0, tcflow(static_cast<int>(m_port), TCOON));
    platform::PurgePort(m_port, platform::Purge::kAbortPendingReads);
    EXPECT_EQ(WriteOutcome::kWritten, Write({kAck}, kNoLimitMs));
    EXPECT_EQ(Bytes{kAck}, m_terminal->Receive(1));
    // A driver still sending the message at the limit holds it too.
    line_double::keepQueued = true;
    const WriteOutcome queued = Write({kAck}, kStillWaitingMs);
    line_double::keepQueued = false;
    EXPECT_EQ(WriteOutcome::kHeld, queued);
}
