// The Win32 port layer against drivers as users have them, through the scripted kernel32 double:
// states other programs leave, reads and writes that complete in ways Wine never shows, a held
// write whose cancel does not end, and adapters that are unplugged and plugged back in.
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

constexpr std::uint32_t kPortNumber = 7;
constexpr const char* kPortName = "\\\\.\\COM7";
constexpr std::uint32_t kRate = 115200;
constexpr std::uint32_t kShortWaitMs = 200;
// Long enough for a read issued again after a failure to be seen.
constexpr std::uint32_t kExchangeWaitMs = 500;
// Far more than a reader that pauses between empty reads issues in one exchange, far fewer than
// one that spins.
constexpr int kFewReads = 20;
constexpr std::uint8_t kMessage[] = {0x03, 0x12, 0x00, 0xFF};
const char* const kUnendingWait = "GetOverlappedResult waits for ever";

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
    std::uint8_t Exchange(std::uint32_t timeoutMs = kShortWaitMs) {
        return m_port.Exchange(kMessage, sizeof(kMessage), timeoutMs, false);
    }
    // One ReadByte on an open raw handle, with events of its own.
    ReadOutcome ReadOnce(std::uint8_t* byte, bool withReadEvent, bool stopped) {
        const platform::Handle port = platform::OpenPort(kPortName);
        const platform::Handle readEvent =
            withReadEvent ? platform::NewEvent() : platform::kNoHandle;
        const platform::Handle stop = platform::NewEvent();
        if (stopped) {
            platform::SignalEvent(stop);
        }
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

// A terminal program's session may leave equal flow-control characters, which SetCommState
// refuses, and handshakes that belong to the line.
TEST_F(Kernel32Double, ALineLeftByAnotherProgramIsConfiguredAndKeepsItsHandshakes) {
    m_fake->dcb.XonChar = m_fake->dcb.XoffChar = 0;
    m_fake->dcb.fOutxCtsFlow = TRUE;
    m_fake->dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    OpenConfigured();
    EXPECT_EQ(m_fake->dcb.BaudRate, kRate);
    EXPECT_TRUE(m_fake->dcb.fOutxCtsFlow);
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
        bool withReadEvent;
        bool stopped;
        ReadOutcome expected;
    };
    const Case cases[] = {
        {"at once, one byte", Step(ReadStep::kByteAtOnce, 'A'), true, false, ReadOutcome::kByte},
        {"stopped, a byte already waiting", Step(ReadStep::kByteAtOnce, 'W'), true, true,
         ReadOutcome::kByte},
        {"at once, no byte", Step(ReadStep::kNothingAtOnce), true, false, ReadOutcome::kNothing},
        {"incomplete, byte by the cancel", Step(ReadStep::kIncompleteThenByte, 'B'), true, false,
         ReadOutcome::kByte},
        {"incomplete, nothing", Step(ReadStep::kIncompleteNoByte), true, false,
         ReadOutcome::kNothing},
        {"fails on a live port: read again", Step(ReadStep::kFails, 0, ERROR_INVALID_PARAMETER),
         true, false, ReadOutcome::kNothing},
        // Through the port handle, a completion is missed when the write signals it too.
        {"no event of its own: no read", Step(ReadStep::kByteAtOnce, 'E'), false, false,
         ReadOutcome::kFailed},
    };
    for (const Case& c : cases) {
        m_fake->reads = {c.step};
        m_fake->calls.clear();
        std::uint8_t byte = 0;
        EXPECT_EQ(ReadOnce(&byte, c.withReadEvent, c.stopped), c.expected) << c.what;
        if (c.expected == ReadOutcome::kByte) {
            EXPECT_EQ(byte, c.step.byte) << c.what;
        }
        EXPECT_EQ(Count("ReadFile"), c.withReadEvent ? 1 : 0) << c.what;
    }
}

// A write is done when the driver's count says so, and a held one is given up at its limit even
// when the driver leaves its cancel pending while CTS stays low.
TEST_F(Kernel32Double, WritesEndAsTheDriverSays) {
    struct Case {
        const char* what;
        WriteBehaviour write;
        bool cancelLeftPending;
        WriteOutcome expected;
    };
    const Case cases[] = {
        {"pends, then completes", WriteBehaviour::kCompletes, false, WriteOutcome::kWritten},
        {"completes at once", WriteBehaviour::kAtOnce, false, WriteOutcome::kWritten},
        {"completes at once, in part", WriteBehaviour::kPartlyAtOnce, false, WriteOutcome::kFailed},
        {"held", WriteBehaviour::kHeld, false, WriteOutcome::kHeld},
        {"held, its cancel left pending", WriteBehaviour::kHeld, true, WriteOutcome::kHeld},
    };
    for (const Case& c : cases) {
        m_fake->write = c.write;
        m_fake->cancelLeftPending = c.cancelLeftPending;
        m_fake->calls.clear();
        const platform::Handle port = platform::OpenPort(kPortName);
        const platform::Handle writeEvent = platform::NewEvent();
        EXPECT_EQ(
            platform::WriteMessage(port, writeEvent, kMessage, sizeof(kMessage), kShortWaitMs),
            c.expected)
            << c.what;
        EXPECT_EQ(Count(kUnendingWait), 0) << c.what;
        platform::CloseEvent(writeEvent);
        platform::ClosePort(port);
    }
}

// The device's ACK came while flow control held the message: the attempt was answered, so it
// shows no time-out, and the run goes on although the driver never completes the cancel.
TEST_F(Kernel32Double, AReplyReadWhileTheWriteWasHeldAnswersTheAttempt) {
    OpenConfigured();
    m_fake->write = WriteBehaviour::kHeld;
    m_fake->cancelLeftPending = true;
    m_fake->reads = {Step(ReadStep::kPendingThenByte, SerialPort::kAck)};
    testing::internal::CaptureStdout();
    EXPECT_EQ(Exchange(), SerialPort::kAck);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(Count(kUnendingWait), 0);
    EXPECT_TRUE(m_port.IsOpen());
}

// Drivers report an unplugged adapter under many codes (users of USB-serial adapters see 22 from
// reads, 1167 and 1617 from transfers, 995 from drivers that abort pending I/O), and 995 also on a
// live port (fAbortOnError, a power transition); only a port whose driver no longer answers is
// let go. Let go, it frees its COM number for
// the adapter, and the next exchange opens and configures it again; kept, DTR stays up.
TEST_F(Kernel32Double, OnlyAPortThatHasGoneIsLetGoAndItComesBackAtItsRate) {
    struct Case {
        const char* what;
        DWORD error;  // 0: every read completes at once with no byte
        bool onWrite;
        bool unplugged;
    };
    const Case cases[] = {
        {"ERROR_BAD_COMMAND, unplugged", ERROR_BAD_COMMAND, false, true},
        {"ERROR_DEVICE_NOT_CONNECTED, unplugged", ERROR_DEVICE_NOT_CONNECTED, false, true},
        {"ERROR_DEVICE_REMOVED, unplugged", ERROR_DEVICE_REMOVED, false, true},
        {"ERROR_OPERATION_ABORTED, unplugged", ERROR_OPERATION_ABORTED, false, true},
        {"write: ERROR_DEVICE_NOT_CONNECTED, unplugged", ERROR_DEVICE_NOT_CONNECTED, true, true},
        {"empty reads at once, unplugged", 0, false, true},
        // Wine's hang-up of the line behind the port; its driver still answers.
        {"ERROR_BROKEN_PIPE", ERROR_BROKEN_PIPE, false, false},
        {"ERROR_OPERATION_ABORTED, live", ERROR_OPERATION_ABORTED, false, false},
        {"write: ERROR_OPERATION_ABORTED, live", ERROR_OPERATION_ABORTED, true, false},
        {"empty reads at once, live", 0, false, false},
    };
    for (const Case& c : cases) {
        SetUp();
        OpenConfigured();
        const bool letGo = c.unplugged || c.error == ERROR_BROKEN_PIPE;
        const bool readError = !c.onWrite && c.error != 0;
        m_fake->unplugged = c.unplugged;
        m_fake->emptyReadsAtOnce = c.error == 0;
        m_fake->write = c.onWrite ? WriteBehaviour::kFails : WriteBehaviour::kCompletes;
        m_fake->writeError = c.error;
        if (readError) {
            m_fake->reads = {Step(ReadStep::kPendsThenFails, 0, c.error)};
        }
        // A live port's read is issued again, and then takes the reply.
        if (readError && !letGo) {
            m_fake->reads.push_back(Step(ReadStep::kPendingThenByte, SerialPort::kAck));
        }
        EXPECT_EQ(Exchange(kExchangeWaitMs),
                  readError && !letGo ? SerialPort::kAck : SerialPort::kNoReply)
            << c.what;
        EXPECT_LE(Count("ReadFile"), kFewReads) << c.what;
        EXPECT_EQ(m_fake->closes, letGo ? 1 : 0) << c.what;
        EXPECT_EQ(m_port.IsOpen(), !letGo) << c.what;
        if (!letGo) {
            continue;
        }
        // Plugged back in.
        const std::string name = m_fake->name;
        *m_fake = FakePort{};
        m_fake->name = name;
        m_fake->reads = {Step(ReadStep::kPendingThenByte, SerialPort::kAck)};
        EXPECT_EQ(Exchange(), SerialPort::kAck) << c.what;
        EXPECT_EQ(m_fake->opens, 1) << c.what;
        EXPECT_EQ(m_fake->dcb.BaudRate, kRate) << c.what;
    }
}

// While the adapter is away every attempt fails to open it, and each lasts its time-out.
TEST_F(Kernel32Double, WhileThePortCannotBeOpenedTheExchangeWaitsOutItsTime) {
    OpenConfigured();
    m_fake->write = WriteBehaviour::kFails;
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
