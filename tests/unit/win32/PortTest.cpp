// The Win32 port layer on pseudo-terminals that scripts/wine-run-with-ports presents to Wine as
// COM ports: one echoes what it receives, the other hangs up at its first byte. Each port is held
// open the way the port object holds it (overlapped, zero time-outs).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <vector>

#include "serial/SerialPort.h"
#include "serial/win32/NativeHandle.h"

namespace {

using platform::ReadOutcome;
using platform::ToNative;

// Bounds the waits for a byte that should come, so that a fault fails the test instead of
// hanging it. Generous: it only matters when something is broken.
constexpr std::uint32_t kHangGuardMs = 10000;

// Reads one byte; a read that gets none within kHangGuardMs is stopped, and reports kStopped.
ReadOutcome GuardedReadByte(platform::Handle port, std::uint8_t* byte) {
    const platform::Handle readEvent = platform::NewEvent();
    const platform::Handle stop = platform::NewEvent();
    auto read = std::async(std::launch::async,
                           [&] { return platform::ReadByte(port, readEvent, stop, byte); });
    if (read.wait_for(std::chrono::milliseconds(kHangGuardMs)) != std::future_status::ready) {
        platform::SignalEvent(stop);
    }
    const ReadOutcome outcome = read.get();
    platform::CloseEvent(readEvent);
    platform::CloseEvent(stop);
    return outcome;
}

// Waits until the port's input queue holds count bytes; false when it never does.
bool WaitForInput(platform::Handle port, std::uint32_t count) {
    for (std::uint32_t waited = 0; waited < kHangGuardMs; waited += 10) {
        COMSTAT status{};
        DWORD errors = 0;
        if (ClearCommError(ToNative(port), &errors, &status) && status.cbInQue >= count) {
            return true;
        }
        platform::SleepMs(10);
    }
    return false;
}

std::vector<DWORD> Fields(const COMMTIMEOUTS& timeouts) {
    return {timeouts.ReadIntervalTimeout, timeouts.ReadTotalTimeoutMultiplier,
            timeouts.ReadTotalTimeoutConstant, timeouts.WriteTotalTimeoutMultiplier,
            timeouts.WriteTotalTimeoutConstant};
}

class MappedPort : public ::testing::Test {
  protected:
    explicit MappedPort(const char* variable) : m_variable(variable) {}
    void SetUp() override {
        const char* number = std::getenv(m_variable);
        m_number =
            number == nullptr ? 0 : static_cast<std::uint32_t>(std::strtoul(number, nullptr, 10));
        if (m_number == 0) {
            GTEST_SKIP() << m_variable << " is not set: run under scripts/wine-run-with-ports";
        }
        char name[SerialPort::kDeviceNameSize];
        SerialPort::FormatDeviceName(m_number, name);
        m_port = platform::OpenPort(name);
        ASSERT_NE(m_port, platform::kNoHandle) << name;
        ASSERT_TRUE(platform::SetZeroTimeouts(m_port));
        for (platform::Handle* event : {&m_writeEvent, &m_readEvent, &m_stopEvent}) {
            *event = platform::NewEvent();
            ASSERT_NE(*event, platform::kNoHandle);
        }
    }
    void TearDown() override {
        for (platform::Handle event : {m_writeEvent, m_readEvent, m_stopEvent}) {
            if (event != platform::kNoHandle) {
                platform::CloseEvent(event);
            }
        }
        if (m_port != platform::kNoHandle) {
            platform::ClosePort(m_port);
        }
    }
    // Writes the text (without its NUL) and waits until it has left.
    bool WriteText(const char* text) {
        return platform::WriteMessage(m_port, m_writeEvent,
                                      reinterpret_cast<const std::uint8_t*>(text),
                                      static_cast<std::uint32_t>(std::strlen(text)),
                                      kHangGuardMs) == platform::WriteOutcome::kWritten;
    }

    const char* m_variable;
    std::uint32_t m_number = 0;
    platform::Handle m_port = platform::kNoHandle;
    platform::Handle m_writeEvent = platform::kNoHandle;
    platform::Handle m_readEvent = platform::kNoHandle;
    platform::Handle m_stopEvent = platform::kNoHandle;
};

class EchoPort : public MappedPort {
  protected:
    EchoPort() : MappedPort("TELVORN_ECHO_PORT") {}
};

class HangUpPort : public MappedPort {
  protected:
    HangUpPort() : MappedPort("TELVORN_HANGUP_PORT") {}
};

TEST(Win32Port, AMissingPortIsNoHandle) {
    // Never mapped: the portable tests rely on that as well.
    EXPECT_EQ(platform::OpenPort("\\\\.\\COM200"), platform::kNoHandle);
    EXPECT_EQ(platform::ProbePort("\\\\.\\COM200"), platform::kNoHandle);
}

TEST_F(EchoPort, WrittenBytesComeBackOneByOne) {
    ASSERT_TRUE(WriteText("TEQ"));
    for (char expected : {'T', 'E', 'Q'}) {
        std::uint8_t byte = 0;
        ASSERT_EQ(GuardedReadByte(m_port, &byte), ReadOutcome::kByte);
        EXPECT_EQ(byte, expected);
    }
}

// Were the abandoned read left pending, it would swallow the next byte into memory that is gone.
TEST_F(EchoPort, AStoppedReadIsCancelledAndTheNextByteIsNotLost) {
    platform::SignalEvent(m_stopEvent);
    std::uint8_t byte = 0;
    EXPECT_EQ(platform::ReadByte(m_port, m_readEvent, m_stopEvent, &byte), ReadOutcome::kStopped);
    ASSERT_TRUE(WriteText("B"));
    EXPECT_EQ(GuardedReadByte(m_port, &byte), ReadOutcome::kByte);
    EXPECT_EQ(byte, 'B');
}

// Windows completes such a read at once; Wine still makes it pend, and then the stop may win.
// Either way the byte must not vanish with the abandoned read.
TEST_F(EchoPort, AByteWaitingWhenStoppedIsTakenNowOrByTheNextRead) {
    ASSERT_TRUE(WriteText("C"));
    ASSERT_TRUE(WaitForInput(m_port, 1));
    platform::SignalEvent(m_stopEvent);
    std::uint8_t byte = 0;
    ReadOutcome outcome = platform::ReadByte(m_port, m_readEvent, m_stopEvent, &byte);
    if (outcome == ReadOutcome::kStopped) {
        outcome = GuardedReadByte(m_port, &byte);
    }
    EXPECT_EQ(outcome, ReadOutcome::kByte);
    EXPECT_EQ(byte, 'C');
}

TEST_F(EchoPort, BothPurgesDiscardWhatHasArrived) {
    for (platform::Purge mode :
         {platform::Purge::kKeepPendingReads, platform::Purge::kAbortPendingReads}) {
        ASSERT_TRUE(WriteText("xyz"));
        ASSERT_TRUE(WaitForInput(m_port, 3));
        platform::PurgePort(m_port, mode);
        ASSERT_TRUE(WriteText("k"));
        std::uint8_t byte = 0;
        EXPECT_EQ(GuardedReadByte(m_port, &byte), ReadOutcome::kByte);
        EXPECT_EQ(byte, 'k');
    }
}

TEST_F(HangUpPort, AHangUpReportsThePortGone) {
    ASSERT_TRUE(WriteText("H"));
    std::uint8_t byte = 0;
    EXPECT_EQ(GuardedReadByte(m_port, &byte), ReadOutcome::kGone);
}

TEST_F(EchoPort, SavedTimeoutsComeBackFieldByField) {
    COMMTIMEOUTS distinct{1, 2, 3, 4, 5};
    ASSERT_TRUE(SetCommTimeouts(ToNative(m_port), &distinct));
    platform::SavedPortState saved{};
    ASSERT_TRUE(platform::SavePortState(m_port, &saved));
    ASSERT_TRUE(platform::SetZeroTimeouts(m_port));
    COMMTIMEOUTS current{};
    ASSERT_TRUE(GetCommTimeouts(ToNative(m_port), &current));
    EXPECT_EQ(Fields(current), std::vector<DWORD>(5, 0));
    ASSERT_TRUE(platform::RestorePortState(m_port, saved));
    ASSERT_TRUE(GetCommTimeouts(ToNative(m_port), &current));
    EXPECT_EQ(Fields(current), Fields(distinct));
}

// A pseudo-terminal always has 8 data bits and no parity, so only the rate, the stop bits and the
// flow control show what the call changed and what it kept.
TEST_F(EchoPort, LineGetsTheRateAndOneStopBitAndKeepsItsFlowControl) {
    DCB line{};
    line.DCBlength = sizeof(line);
    ASSERT_TRUE(GetCommState(ToNative(m_port), &line));
    line.BaudRate = CBR_9600;
    line.StopBits = TWOSTOPBITS;
    line.fOutxCtsFlow = TRUE;
    ASSERT_TRUE(SetCommState(ToNative(m_port), &line));
    ASSERT_TRUE(platform::SetLineSettings(m_port, CBR_115200));
    line = DCB{};
    line.DCBlength = sizeof(line);
    ASSERT_TRUE(GetCommState(ToNative(m_port), &line));
    EXPECT_EQ(line.BaudRate, static_cast<DWORD>(CBR_115200));
    EXPECT_EQ(line.StopBits, ONESTOPBIT);
    EXPECT_TRUE(line.fOutxCtsFlow);
}

// The port object's exchange, on the port this test let go: whatever reply byte the message ends
// with comes back echoed as the device's answer.
TEST_F(EchoPort, TheEchoedReplyEndsTheExchange) {
    platform::ClosePort(m_port);
    m_port = platform::kNoHandle;
    SerialPort port;
    ASSERT_TRUE(port.SetPortNumber(m_number));
    ASSERT_TRUE(port.Configure(CBR_115200));
    const std::uint8_t ack[] = {SerialPort::kAck};
    EXPECT_EQ(port.Exchange(ack, sizeof(ack), kHangGuardMs, false), SerialPort::kAck);
    const std::uint8_t textThenNak[] = {'o', 'k', SerialPort::kNak};
    EXPECT_EQ(port.Exchange(textThenNak, sizeof(textThenNak), kHangGuardMs, false),
              SerialPort::kNak);
}

}  // namespace
