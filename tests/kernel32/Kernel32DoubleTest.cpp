// The Win32 port layer against drivers as users have them, through the scripted kernel32 double:
// states other programs leave, reads that complete in ways Wine never shows, a held write, and an
// adapter that is unplugged and plugged back in.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Kernel32Double.h"
#include "serial/SerialPort.h"

namespace {

using kernel32_double::FakePort;
using kernel32_double::ReadStep;
using platform::ReadOutcome;

constexpr std::uint32_t kPortNumber = 7;
constexpr const char* kPortName = "\\\\.\\COM7";
constexpr std::uint32_t kRate = 115200;
constexpr std::uint32_t kShortWaitMs = 200;
constexpr std::uint8_t kMessage[] = {0x03, 0x12, 0x00, 0xFF};

ReadStep Step(ReadStep::Kind kind, std::uint8_t byte = 0, DWORD error = 0) {
    return ReadStep{kind, byte, error};
}

class Kernel32Double : public ::testing::Test {
  protected:
    void SetUp() override {
        kernel32_double::Reset();
        m_fake = kernel32_double::AddPort(kPortName);
    }
    // The port as the download holds it: open, zero time-outs, configured.
    void OpenConfigured() {
        ASSERT_TRUE(m_port.SetPortNumber(kPortNumber));
        ASSERT_TRUE(m_port.Configure(kRate));
    }
    std::uint8_t Exchange() {
        return m_port.Exchange(kMessage, sizeof(kMessage), kShortWaitMs, false);
    }
    // One ReadByte on an open raw handle, with events of its own.
    ReadOutcome ReadOnce(std::uint8_t* byte, bool withReadEvent = true) {
        const platform::Handle port = platform::OpenPort(kPortName);
        const platform::Handle readEvent =
            withReadEvent ? platform::NewEvent() : platform::kNoHandle;
        const platform::Handle stop = platform::NewEvent();
        const ReadOutcome outcome = platform::ReadByte(port, readEvent, stop, byte);
        if (readEvent != platform::kNoHandle) {
            platform::CloseEvent(readEvent);
        }
        platform::CloseEvent(stop);
        platform::ClosePort(port);
        return outcome;
    }
    int Count(const char* call) const {
        return static_cast<int>(std::count(m_fake->calls.begin(), m_fake->calls.end(), call));
    }

    FakePort* m_fake = nullptr;
    SerialPort m_port;
};

// A terminal program's serial session leaves XON/XOFF, abort-on-error, DSR sensitivity and the
// rest behind; every one of them would stall or change a binary exchange.
TEST_F(Kernel32Double, LineIsMadeBinaryAndTransparentAndKeepsCtsFlowControl) {
    DCB& left = m_fake->dcb;
    left.fBinary = FALSE;
    left.fParity = TRUE;
    left.Parity = EVENPARITY;
    left.StopBits = TWOSTOPBITS;
    left.ByteSize = 7;
    left.fOutX = TRUE;
    left.fInX = TRUE;
    left.fDsrSensitivity = TRUE;
    left.fOutxDsrFlow = TRUE;
    left.fNull = TRUE;
    left.fErrorChar = TRUE;
    left.fAbortOnError = TRUE;
    left.fDtrControl = DTR_CONTROL_DISABLE;
    left.fRtsControl = RTS_CONTROL_DISABLE;
    left.fOutxCtsFlow = TRUE;
    left.XonChar = left.XoffChar = 0;
    OpenConfigured();
    const DCB& set = m_fake->dcb;
    EXPECT_EQ(set.BaudRate, kRate);
    EXPECT_EQ(set.ByteSize, 8);
    EXPECT_EQ(set.Parity, NOPARITY);
    EXPECT_EQ(set.StopBits, ONESTOPBIT);
    const std::vector<unsigned> flags = {set.fBinary, set.fParity,         set.fOutX,
                                         set.fInX,    set.fDsrSensitivity, set.fOutxDsrFlow,
                                         set.fNull,   set.fErrorChar,      set.fAbortOnError};
    EXPECT_EQ(flags, (std::vector<unsigned>{1, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(set.fDtrControl, static_cast<unsigned>(DTR_CONTROL_ENABLE));
    EXPECT_EQ(set.fRtsControl, static_cast<unsigned>(RTS_CONTROL_ENABLE));
    EXPECT_TRUE(set.fOutxCtsFlow);
}

TEST_F(Kernel32Double, RtsHandshakeStaysWithThePort) {
    m_fake->dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    OpenConfigured();
    EXPECT_EQ(m_fake->dcb.fRtsControl, static_cast<unsigned>(RTS_CONTROL_HANDSHAKE));
}

// A driver that keeps fAbortOnError fails every transfer after a line error until the error is
// cleared; the purge before each exchange clears it, so the device's answer gets through.
TEST_F(Kernel32Double, ALineErrorLeftPendingIsClearedBeforeTheExchange) {
    m_fake->dcb.fAbortOnError = TRUE;
    m_fake->keepsAbortOnError = true;
    OpenConfigured();
    m_fake->lineErrorPending = true;
    m_fake->reads = {Step(ReadStep::kPendingThenByte, SerialPort::kAck)};
    EXPECT_EQ(Exchange(), SerialPort::kAck);
    const auto purge = std::find(m_fake->calls.begin(), m_fake->calls.end(), "PurgeComm");
    ASSERT_NE(purge, m_fake->calls.end());
    EXPECT_EQ(*(purge + 1), "ClearCommError");
}

// Reads that end in ways only real drivers produce: none of them may pass for a byte, stop the
// reader, or lose a byte that did arrive.
TEST_F(Kernel32Double, ReadsThatEndWithoutAByteAreNotTakenForOne) {
    struct Case {
        const char* what;
        ReadStep step;
        ReadOutcome expected;
    };
    const Case cases[] = {
        {"at once, one byte", Step(ReadStep::kByteAtOnce, 'A'), ReadOutcome::kByte},
        {"at once, no byte", Step(ReadStep::kNothingAtOnce), ReadOutcome::kNothing},
        {"incomplete, byte by the cancel", Step(ReadStep::kIncompleteThenByte, 'B'),
         ReadOutcome::kByte},
        {"incomplete, nothing", Step(ReadStep::kIncompleteNoByte), ReadOutcome::kNothing},
        {"fails for another reason", Step(ReadStep::kFails, 0, ERROR_INVALID_PARAMETER),
         ReadOutcome::kFailed},
    };
    for (const Case& c : cases) {
        m_fake->reads = {c.step};
        std::uint8_t byte = 0;
        EXPECT_EQ(ReadOnce(&byte), c.expected) << c.what;
        if (c.expected == ReadOutcome::kByte) {
            EXPECT_EQ(byte, c.step.byte) << c.what;
        }
    }
}

// A reader that could not make its read event still reads, through the port handle.
TEST_F(Kernel32Double, AReadWithoutItsOwnEventStillTakesTheByte) {
    m_fake->reads = {Step(ReadStep::kPendingThenByte, SerialPort::kNak)};
    std::uint8_t byte = 0;
    EXPECT_EQ(ReadOnce(&byte, false), ReadOutcome::kByte);
    EXPECT_EQ(byte, SerialPort::kNak);
}

// Flow control that never lets the message go: the write is abandoned, not waited for.
TEST_F(Kernel32Double, AHeldWriteIsAbandonedAfterItsLimit) {
    m_fake->write = kernel32_double::WriteBehaviour::kHeld;
    const platform::Handle port = platform::OpenPort(kPortName);
    const platform::Handle writeEvent = platform::NewEvent();
    EXPECT_EQ(platform::WriteMessage(port, writeEvent, kMessage, sizeof(kMessage), kShortWaitMs),
              platform::WriteOutcome::kHeld);
    EXPECT_EQ(Count("CancelIo"), 1);
    platform::CloseEvent(writeEvent);
    platform::ClosePort(port);
}

// What drivers report for an unplugged adapter: the handle is let go at the end of the exchange
// (freeing the COM number), and the next exchange opens and configures the port again.
TEST_F(Kernel32Double, AnUnpluggedAdapterIsClosedAndOpenedAgainAtTheSameRate) {
    for (DWORD error : {ERROR_ACCESS_DENIED, ERROR_GEN_FAILURE, ERROR_OPERATION_ABORTED}) {
        SetUp();
        OpenConfigured();
        m_fake->reads = {Step(ReadStep::kPendsThenFails, 0, error)};
        EXPECT_EQ(Exchange(), SerialPort::kNoReply) << error;
        EXPECT_EQ(m_fake->closes, 1) << error;
        EXPECT_FALSE(m_port.IsOpen()) << error;

        m_fake->dcb.BaudRate = CBR_9600;
        m_fake->reads = {Step(ReadStep::kPendingThenByte, SerialPort::kAck)};
        EXPECT_EQ(Exchange(), SerialPort::kAck) << error;
        EXPECT_EQ(m_fake->opens, 2) << error;
        EXPECT_EQ(m_fake->dcb.BaudRate, kRate) << error;
        m_port.Close();
    }
}

// While the adapter is away every attempt fails to open it, and each lasts its time-out.
TEST_F(Kernel32Double, WhileThePortCannotBeOpenedTheExchangeWaitsOutItsTime) {
    OpenConfigured();
    m_fake->write = kernel32_double::WriteBehaviour::kFails;
    m_fake->writeError = ERROR_GEN_FAILURE;
    EXPECT_EQ(Exchange(), SerialPort::kNoReply);
    EXPECT_FALSE(m_port.IsOpen());
    m_fake->openError = ERROR_FILE_NOT_FOUND;
    const DWORD started = GetTickCount();
    EXPECT_EQ(Exchange(), SerialPort::kNoReply);
    EXPECT_GE(GetTickCount() - started, kShortWaitMs / 2);
    EXPECT_FALSE(m_port.IsOpen());
}

}  // namespace
