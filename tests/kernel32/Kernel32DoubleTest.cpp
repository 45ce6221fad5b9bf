// The Win32 port layer against drivers as users have them, through the kernel32 double.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "Kernel32Double.h"
#include "serial/SerialPort.h"

namespace {

using kernel32_double::FakePort;
using kernel32_double::ReadStep;
using kernel32_double::WriteBehaviour;
using platform::ReadOutcome;
using platform::WriteOutcome;

constexpr const char* kPortName = "\\\\.\\COM7";
constexpr std::uint32_t kRate = 115200;
constexpr std::uint32_t kShortWaitMs = 200;
// Long enough for a read issued again after a failure to be seen.
constexpr std::uint32_t kExchangeWaitMs = 500;
// Far more than a reader that pauses between empty reads issues in one exchange, far fewer than
// one that spins.
constexpr int kFewReads = 20;
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
        ASSERT_TRUE(m_port.SetPortNumber(7));
        ASSERT_TRUE(m_port.Configure(kRate));
    }
    std::uint8_t Exchange(std::uint32_t timeoutMs = kShortWaitMs) {
        return m_port.Exchange(kMessage, sizeof(kMessage), timeoutMs, false);
    }
    int Count(const char* call) const {
        return static_cast<int>(std::count(m_fake->calls.begin(), m_fake->calls.end(), call));
    }

    FakePort* m_fake = nullptr;
    SerialPort m_port;
};

// A terminal program may leave equal flow-control characters, which SetCommState refuses, and
// handshakes that belong to the line. A driver that keeps fAbortOnError fails every transfer
// after a line error until the error is cleared, which the purge before each exchange does.
// An ACK read while flow control held the message answers the attempt (no time-out shown), though
// the driver never completes the cancel of the write.
TEST_F(Kernel32Double, ALineLeftByAnotherProgramIsConfiguredClearedAndAnswered) {
    m_fake->dcb.XonChar = m_fake->dcb.XoffChar = 0;
    m_fake->dcb.fOutxCtsFlow = TRUE;
    m_fake->dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    m_fake->dcb.fAbortOnError = TRUE;
    m_fake->keepsAbortOnError = true;
    OpenConfigured();
    EXPECT_EQ(m_fake->dcb.BaudRate, kRate);
    EXPECT_TRUE(m_fake->dcb.fOutxCtsFlow);
    EXPECT_EQ(m_fake->dcb.fRtsControl, static_cast<unsigned>(RTS_CONTROL_HANDSHAKE));
    m_fake->lineErrorPending = true;
    m_fake->reads = {Step(ReadStep::kPendingThenByte, SerialPort::kAck)};
    EXPECT_EQ(Exchange(), SerialPort::kAck);
    const auto purge = std::find(m_fake->calls.begin(), m_fake->calls.end(), "PurgeComm");
    ASSERT_NE(purge, m_fake->calls.end());
    EXPECT_EQ(*(purge + 1), "ClearCommError");

    m_fake->write = WriteBehaviour::kHeld;
    m_fake->cancelLeftPending = true;
    m_fake->reads = {Step(ReadStep::kPendingThenByte, SerialPort::kAck)};
    testing::internal::CaptureStdout();
    EXPECT_EQ(Exchange(), SerialPort::kAck);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(m_port.IsOpen());
}

// Reads that end in ways only real drivers produce: none may pass for a byte, stop the reader,
// or lose a byte that did arrive.
TEST_F(Kernel32Double, ReadsThatEndWithoutAByteAreNotTakenForOne) {
    struct Case {
        ReadStep step;
        bool withReadEvent;
        bool stopped;
        ReadOutcome expected;
    };
    const Case cases[] = {
        {Step(ReadStep::kByteAtOnce, 'A'), true, false, ReadOutcome::kByte},
        {Step(ReadStep::kByteAtOnce, 'W'), true, true, ReadOutcome::kByte},  // stopped, byte waits
        {Step(ReadStep::kNothingAtOnce), true, false, ReadOutcome::kNothing},
        {Step(ReadStep::kIncompleteThenByte, 'B'), true, false, ReadOutcome::kByte},
        {Step(ReadStep::kIncompleteNoByte), true, false, ReadOutcome::kNothing},
        // A failed read on a live port is issued again.
        {Step(ReadStep::kFails, 0, ERROR_INVALID_PARAMETER), true, false, ReadOutcome::kNothing},
        // Through the port handle, a completion is missed when the write signals it too.
        {Step(ReadStep::kByteAtOnce, 'E'), false, false, ReadOutcome::kFailed},
    };
    for (const Case& c : cases) {
        const int row = static_cast<int>(&c - cases);
        m_fake->reads = {c.step};
        m_fake->calls.clear();
        const platform::Handle port = platform::OpenPort(kPortName);
        const platform::Handle readEvent = platform::NewEvent();
        const platform::Handle stop = platform::NewEvent();
        if (c.stopped) {
            platform::SignalEvent(stop);
        }
        std::uint8_t byte = 0;
        EXPECT_EQ(platform::ReadByte(port, c.withReadEvent ? readEvent : platform::kNoHandle, stop,
                                     &byte),
                  c.expected)
            << row;
        EXPECT_EQ(byte, c.expected == ReadOutcome::kByte ? c.step.byte : 0) << row;
        EXPECT_EQ(Count("ReadFile"), c.withReadEvent ? 1 : 0) << row;
        platform::CloseEvent(readEvent);
        platform::CloseEvent(stop);
        platform::ClosePort(port);
    }
}

// A write is done when the driver's count says so, and a held one is given up at its limit even
// when the driver leaves its cancel pending while CTS stays low.
TEST_F(Kernel32Double, WritesEndAsTheDriverSays) {
    struct Case {
        WriteBehaviour write;
        bool cancelLeftPending;
        WriteOutcome expected;
    };
    const Case cases[] = {
        {WriteBehaviour::kCompletes, false, WriteOutcome::kWritten},
        {WriteBehaviour::kAtOnce, false, WriteOutcome::kWritten},
        {WriteBehaviour::kPartlyAtOnce, false, WriteOutcome::kFailed},
        {WriteBehaviour::kHeld, false, WriteOutcome::kHeld},
        {WriteBehaviour::kHeld, true, WriteOutcome::kHeld},
    };
    for (const Case& c : cases) {
        m_fake->write = c.write;
        m_fake->cancelLeftPending = c.cancelLeftPending;
        const platform::Handle port = platform::OpenPort(kPortName);
        const platform::Handle event = platform::NewEvent();
        const int row = static_cast<int>(&c - cases);
        EXPECT_EQ(platform::WriteMessage(port, event, kMessage, sizeof(kMessage), kShortWaitMs),
                  c.expected)
            << row;
        platform::CloseEvent(event);
        platform::ClosePort(port);
    }
}

// Drivers report an unplugged adapter under many codes (users of USB-serial adapters see 22 from
// reads, 1167 and 1617 from transfers, 995 from drivers that abort pending I/O), and 995 also on a
// live port (fAbortOnError, a power transition); only a port whose driver no longer answers is
// let go. Let go, it frees its COM number for the adapter: while that is away each exchange lasts
// its time-out, and once it is back the next one opens and configures it again. Kept, DTR stays.
TEST_F(Kernel32Double, OnlyAPortThatHasGoneIsLetGoAndItComesBackAtItsRate) {
    struct Case {
        DWORD error;  // 0: every read completes at once with no byte
        bool onWrite;
        bool unplugged;
    };
    const Case cases[] = {
        {ERROR_BAD_COMMAND, false, true},
        {ERROR_DEVICE_REMOVED, false, true},
        {ERROR_OPERATION_ABORTED, false, true},
        {ERROR_DEVICE_NOT_CONNECTED, true, true},
        {0, false, true},
        {ERROR_GEN_FAILURE, true, false},
        {ERROR_BROKEN_PIPE, false, false},  // Wine's hang-up of the line; its driver answers
        {ERROR_OPERATION_ABORTED, false, false},
        {ERROR_OPERATION_ABORTED, true, false},
        {0, false, false},
    };
    for (const Case& c : cases) {
        const std::string what = std::to_string(c.error) + (c.onWrite ? " write" : " read") +
                                 (c.unplugged ? " unplugged" : " live");
        SetUp();
        OpenConfigured();
        const bool letGo =
            c.unplugged || c.error == ERROR_BROKEN_PIPE || c.error == ERROR_GEN_FAILURE;
        const bool readError = !c.onWrite && c.error != 0;
        m_fake->unplugged = c.unplugged;
        m_fake->emptyReadsAtOnce = c.error == 0;
        m_fake->writeError = c.onWrite ? c.error : 0;
        if (readError) {
            m_fake->reads = {Step(ReadStep::kPendsThenFails, 0, c.error)};
        }
        // A live port's read is issued again, and then takes the reply.
        if (readError && !letGo) {
            m_fake->reads.push_back(Step(ReadStep::kPendingThenByte, SerialPort::kAck));
        }
        EXPECT_EQ(Exchange(kExchangeWaitMs),
                  readError && !letGo ? SerialPort::kAck : SerialPort::kNoReply)
            << what;
        EXPECT_LE(Count("ReadFile"), kFewReads) << what;
        EXPECT_EQ(m_fake->closes, letGo ? 1 : 0) << what;
        EXPECT_EQ(m_port.IsOpen(), !letGo) << what;
        if (!letGo) {
            continue;
        }
        *m_fake = FakePort{};
        m_fake->name = kPortName;
        m_fake->openError = ERROR_FILE_NOT_FOUND;
        const DWORD started = GetTickCount();
        EXPECT_EQ(Exchange(), SerialPort::kNoReply) << what;
        EXPECT_GE(GetTickCount() - started, kShortWaitMs / 2) << what;
        EXPECT_FALSE(m_port.IsOpen()) << what;
        m_fake->openError = 0;  // plugged back in
        m_fake->reads = {Step(ReadStep::kPendingThenByte, SerialPort::kAck)};
        EXPECT_EQ(Exchange(), SerialPort::kAck) << what;
        EXPECT_EQ(m_fake->opens, 1) << what;
        EXPECT_EQ(m_fake->dcb.BaudRate, kRate) << what;
    }
}

}  // namespace
