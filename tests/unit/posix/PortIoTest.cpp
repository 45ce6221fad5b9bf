// ReadByte and WriteMessage on the port end of a linked terminal, open and raw as an exchange
// uses it, with the test on the master.
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "LineDouble.h"
#include "LinkedTerminal.h"
#include "serial/Platform.h"

namespace {

using platform::ReadOutcome;
using platform::WriteOutcome;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kAck = 0x06;
// Long enough for a write that wrongly returns at once to have done so.
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
    }
    void TearDown() override {
        if (m_port != platform::kNoHandle) {
            platform::ClosePort(m_port);
        }
    }
    WriteOutcome Write(const Bytes& message, std::uint32_t limitMs) {
        return platform::WriteMessage(m_port, platform::kNoHandle, message.data(),
                                      static_cast<std::uint32_t>(message.size()), limitMs);
    }

    std::unique_ptr<LinkedTerminal> m_terminal;
    platform::Handle m_port = platform::kNoHandle;
};

}  // namespace

// A reply that arrives as the time-out ends still counts; the stop signal stays signalled.
TEST_F(ExchangeLine, ReadTakesAWaitingByteBeforeTheStopSignal) {
    ASSERT_NO_FATAL_FAILURE(Open(113));
    const platform::Handle stop = platform::NewEvent();
    ASSERT_NE(platform::kNoHandle, stop);
    platform::SignalEvent(stop);
    ASSERT_EQ(1, write(m_terminal->Master(), "\x15", 1));
    ASSERT_TRUE(BecomesReadable(static_cast<int>(m_port)));
    std::uint8_t byte = 0;
    EXPECT_EQ(ReadOutcome::kByte, platform::ReadByte(m_port, platform::kNoHandle, stop, &byte));
    EXPECT_EQ(0x15, byte);
    EXPECT_EQ(ReadOutcome::kStopped, platform::ReadByte(m_port, platform::kNoHandle, stop, &byte));
    platform::CloseEvent(stop);
}

// Far more than a pseudo-terminal buffers, so that the writer has to wait for room; a prime
// period never lines up with a buffer size, so a lost or repeated chunk shows. The first bytes
// are line ends, XON/XOFF and other control bytes that a cooked terminal would alter or act on.
TEST_F(ExchangeLine, MessagesArriveByteForByteAndWholeAfterWaitingForRoom) {
    ASSERT_NO_FATAL_FAILURE(Open(114));
    Bytes message = {0x0A, 0x0D, 0x13, 0x11, 0x00, 0x03, 0x7F, 0xFF, 0x06, 0x15, 0x0A};
    for (std::size_t i = 0; i < 2 * 1024 * 1024; ++i) {
        message.push_back(static_cast<std::uint8_t>(i % 251));
    }
    Bytes received;
    std::thread device([&] { received = m_terminal->Receive(message.size()); });
    EXPECT_EQ(WriteOutcome::kWritten, Write(message, kNoLimitMs));
    device.join();
    EXPECT_EQ(message, received);
}

// A line whose output is stopped (flow control, or another program's tcflow()) holds the write,
// and so does a driver still sending the message: either is given up at its limit.
TEST_F(ExchangeLine, AStoppedLineHoldsTheWriteOnlyUntilItsLimit) {
    ASSERT_NO_FATAL_FAILURE(Open(116));
    ASSERT_EQ(0, tcflow(static_cast<int>(m_port), TCOOFF));
    EXPECT_EQ(WriteOutcome::kHeld, Write({kAck}, kStillWaitingMs));
    ASSERT_EQ(0, tcflow(static_cast<int>(m_port), TCOON));
    line_double::keepQueued = true;
    const WriteOutcome queued = Write({kAck}, kStillWaitingMs);
    line_double::keepQueued = false;
    EXPECT_EQ(WriteOutcome::kHeld, queued);
}
