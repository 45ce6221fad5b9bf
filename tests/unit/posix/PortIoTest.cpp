#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "LinkedTerminal.h"
#include "Watchdog.h"
#include "serial/Platform.h"

namespace {

constexpr std::uint32_t kAnyRate = 9600;
constexpr std::uint8_t kAck = 0x06;
constexpr std::uint8_t kNak = 0x15;
// Well beyond what a pseudo-terminal buffers, so that the writer has to wait for room.
constexpr std::size_t kLongMessageSize = 2 * 1024 * 1024;
// Long enough for a read or write that wrongly returns at once to have done so.
constexpr std::uint32_t kStillWaitingMs = 100;
// A prime, so that the pattern never lines up with a buffer size and a lost or repeated chunk
// shows.
constexpr std::size_t kPatternPeriod = 251;

// The port end of a linked terminal as an exchange uses it: open, raw, with a stop event.
class ExchangeLine : public ::testing::Test {
  protected:
    void Open(const LinkedTerminal& terminal) {
        ASSERT_TRUE(terminal.IsReady());
        m_port = platform::OpenPort(terminal.DeviceName());
        ASSERT_NE(platform::kNoHandle, m_port);
        ASSERT_TRUE(platform::SetLineSettings(m_port, kAnyRate));
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
    platform::ReadOutcome Read(std::uint8_t* byte) {
        return platform::ReadByte(m_port, platform::kNoHandle, m_stop, byte);
    }

    platform::Handle m_port = platform::kNoHandle;
    platform::Handle m_stop = platform::kNoHandle;
};

// One ReadByte or WriteMessage on its own thread, for calls that would hang if they were wrong.
struct PortCall {
    platform::Handle port = platform::kNoHandle;
    platform::Handle stop = platform::kNoHandle;
    std::vector<std::uint8_t> message;
    std::uint8_t byte = 0;
    platform::ReadOutcome readOutcome = platform::ReadOutcome::kNothing;
    bool written = false;
};

std::uint32_t ReadOnThread(void* argument) {
    PortCall* call = static_cast<PortCall*>(argument);
    call->readOutcome =
        platform::ReadByte(call->port, platform::kNoHandle, call->stop, &call->byte);
    return 0;
}

std::uint32_t WriteOnThread(void* argument) {
    PortCall* call = static_cast<PortCall*>(argument);
    call->written = platform::WriteMessage(call->port, platform::kNoHandle, call->message.data(),
                                           static_cast<std::uint32_t>(call->message.size()));
    return 0;
}

std::vector<std::uint8_t> Pattern(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i % kPatternPeriod);
    }
    return bytes;
}

// Everything the master receives until count bytes have come, or the watchdog bound passes.
std::vector<std::uint8_t> ReceiveOnMaster(int master, std::size_t count) {
    std::vector<std::uint8_t> received(count);
    std::size_t taken = 0;
    while (taken < count && BecomesReadable(master)) {
        const ssize_t got = read(master, received.data() + taken, count - taken);
        if (got <= 0) {
            break;
        }
        taken += static_cast<std::size_t>(got);
    }
    received.resize(taken);
    return received;
}

}  // namespace

TEST_F(ExchangeLine, WaitingByteIsTakenBeforeTheStopSignalThatStaysSignalled) {
    LinkedTerminal terminal(113);
    ASSERT_NO_FATAL_FAILURE(Open(terminal));
    ASSERT_EQ(1, write(terminal.Master(), &kAck, 1));
    ASSERT_TRUE(BecomesReadable(static_cast<int>(m_port)));
    platform::SignalEvent(m_stop);

    std::uint8_t byte = 0;
    EXPECT_EQ(platform::ReadOutcome::kByte, Read(&byte));
    EXPECT_EQ(kAck, byte);
    EXPECT_EQ(platform::ReadOutcome::kStopped, Read(&byte));
    EXPECT_EQ(platform::ReadOutcome::kStopped, Read(&byte));
}

TEST_F(ExchangeLine, ReadWaitsUntilAByteComes) {
    LinkedTerminal terminal(114);
    ASSERT_NO_FATAL_FAILURE(Open(terminal));
    PortCall call;
    call.port = m_port;
    call.stop = m_stop;
    const platform::Handle reader = platform::StartThread(ReadOnThread, &call);
    ASSERT_NE(platform::kNoHandle, reader);
    EXPECT_EQ(platform::WaitOutcome::kTimedOut, platform::WaitForThread(reader, kStillWaitingMs));

    EXPECT_EQ(1, write(terminal.Master(), &kNak, 1));
    AwaitEnd(reader);
    EXPECT_EQ(platform::ReadOutcome::kByte, call.readOutcome);
    EXPECT_EQ(kNak, call.byte);
}

TEST_F(ExchangeLine, ReadWaitsUntilTheStopSignal) {
    LinkedTerminal terminal(115);
    ASSERT_NO_FATAL_FAILURE(Open(terminal));
    PortCall call;
    call.port = m_port;
    call.stop = m_stop;
    const platform::Handle reader = platform::StartThread(ReadOnThread, &call);
    ASSERT_NE(platform::kNoHandle, reader);
    EXPECT_EQ(platform::WaitOutcome::kTimedOut, platform::WaitForThread(reader, kStillWaitingMs));

    platform::SignalEvent(m_stop);
    AwaitEnd(reader);
    EXPECT_EQ(platform::ReadOutcome::kStopped, call.readOutcome);
}

// kNothing would send the reader straight back into a read that cannot succeed: a spin.
TEST_F(ExchangeLine, ReadFromHungUpLineFailsEveryTime) {
    LinkedTerminal terminal(116);
    ASSERT_NO_FATAL_FAILURE(Open(terminal));
    terminal.CloseMaster();
    for (int attempt = 0; attempt < 2; ++attempt) {
        PortCall call;
        call.port = m_port;
        call.stop = m_stop;
        const platform::Handle reader = platform::StartThread(ReadOnThread, &call);
        ASSERT_NE(platform::kNoHandle, reader);
        AwaitEnd(reader);
        EXPECT_EQ(platform::ReadOutcome::kFailed, call.readOutcome);
    }
}

TEST_F(ExchangeLine, MessageArrivesByteForByte) {
    LinkedTerminal terminal(117);
    ASSERT_NO_FATAL_FAILURE(Open(terminal));
    // Line ends, XON/XOFF and other control bytes that a cooked terminal would alter or act on.
    const std::vector<std::uint8_t> message = {0x0A, 0x0D, 0x13, 0x11, 0x00, 0x03,
                                               0x7F, 0xFF, 0x06, 0x15, 0x0A};
    ASSERT_TRUE(platform::WriteMessage(m_port, platform::kNoHandle, message.data(),
                                       static_cast<std::uint32_t>(message.size())));
    EXPECT_EQ(message, ReceiveOnMaster(terminal.Master(), message.size()));
}

TEST_F(ExchangeLine, LongMessageWaitsForRoomAndArrivesWhole) {
    LinkedTerminal terminal(118);
    ASSERT_NO_FATAL_FAILURE(Open(terminal));
    PortCall call;
    call.port = m_port;
    call.message = Pattern(kLongMessageSize);
    const platform::Handle writer = platform::StartThread(WriteOnThread, &call);
    ASSERT_NE(platform::kNoHandle, writer);

    EXPECT_EQ(call.message, ReceiveOnMaster(terminal.Master(), kLongMessageSize));
    AwaitEnd(writer);
    EXPECT_TRUE(call.written);
}

TEST_F(ExchangeLine, WriteToHungUpLineFails) {
    LinkedTerminal terminal(119);
    ASSERT_NO_FATAL_FAILURE(Open(terminal));
    terminal.CloseMaster();
    EXPECT_FALSE(platform::WriteMessage(m_port, platform::kNoHandle, &kAck, 1));
}

TEST_F(ExchangeLine, WriteWaitingForRoomFailsWhenTheLineHangsUp) {
    LinkedTerminal terminal(120);
    ASSERT_NO_FATAL_FAILURE(Open(terminal));
    PortCall call;
    call.port = m_port;
    call.message = Pattern(kLongMessageSize);
    const platform::Handle writer = platform::StartThread(WriteOnThread, &call);
    ASSERT_NE(platform::kNoHandle, writer);
    // Nobody reads the master, so the message cannot all have gone.
    EXPECT_EQ(platform::WaitOutcome::kTimedOut, platform::WaitForThread(writer, kStillWaitingMs));

    terminal.CloseMaster();
    AwaitEnd(writer);
    EXPECT_FALSE(call.written);
}
