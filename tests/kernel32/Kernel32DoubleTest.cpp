// The Win32 layer against Windows as users have it, through the kernel32 double.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "Kernel32Double.h"
#include "PortFinding.h"
#include "PortPrinter.h"
#include "PortSurvey.h"
#include "app/Banner.h"
#include "platform/Console.h"
#include "platform/Port.h"
#include "platform/StandardStreams.h"
#include "platform/Threads.h"
#include "serial/EnumeratePorts.h"
#include "serial/SerialPort.h"

namespace {

using namespace kernel32_double;
using platform::ReadOutcome;
using platform::WriteOutcome;

constexpr const char* kPortName = "\\\\.\\COM7";
constexpr std::uint32_t kRate = 115200;
constexpr std::uint32_t kShortWaitMs = 200;
constexpr std::uint8_t kMessage[] = {0x03, 0x12, 0x00, 0xFF};

class Kernel32Double : public ::testing::Test {
  protected:
    void SetUp() override {
        Reset();
        m_fake = AddPort(kPortName);
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

// A terminal program's leftovers: equal flow-control characters (refused by SetCommState), its
// handshakes, and a line error that the purge before each exchange must clear. An ACK read while
// the message is held still answers.
TEST_F(Kernel32Double, ALineLeftByAnotherProgramIsConfiguredClearedAndAnswered) {
    DCB& dcb = m_fake->dcb;
    dcb.XonChar = dcb.XoffChar = 0;
    dcb.fOutxCtsFlow = dcb.fAbortOnError = TRUE, dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    dcb.ByteSize = 7, dcb.Parity = EVENPARITY, dcb.StopBits = TWOSTOPBITS;
    OpenConfigured();
    EXPECT_EQ(std::make_tuple(dcb.BaudRate, +dcb.fOutxCtsFlow, +dcb.fAbortOnError, +dcb.fRtsControl,
                              dcb.ByteSize, dcb.Parity, dcb.StopBits),
              std::make_tuple(DWORD{kRate}, 1, 0, RTS_CONTROL_HANDSHAKE, BYTE{8}, BYTE{NOPARITY},
                              BYTE{ONESTOPBIT}));
    m_fake->reads = {{ReadStep::kLateByte, SerialPort::kAck}};
    EXPECT_EQ(Exchange(), SerialPort::kAck);
    const auto purge = std::find(m_fake->calls.begin(), m_fake->calls.end(), "PurgeComm");
    ASSERT_NE(purge, m_fake->calls.end());
    EXPECT_EQ(*(purge + 1), "ClearCommError");

    m_fake->write = WriteBehaviour::kHeld, m_fake->cancel = Cancel::kOnlyByPurge;
    m_fake->reads = {{ReadStep::kLateByte, SerialPort::kAck}};
    testing::internal::CaptureStdout();
    EXPECT_EQ(Exchange(), SerialPort::kAck);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(m_port.IsOpen());
}

// The port's DCB and time-outs go back on a close and on the console's Ctrl+C or close (exit
// 130); the time-outs even when the driver refuses the DCB, or the next program's reads never
// return. An RS-485 adapter's RTS toggle is kept, as is RTS handshaking.
TEST_F(Kernel32Double, EveryWayOutPutsThePortBackAsItWasFound) {
    struct Case {
        DWORD rtsControl, rtsWhileOpen, consoleEvent, commStateError;  // consoleEvent 0: a close
    };
    const Case cases[] = {
        {RTS_CONTROL_HANDSHAKE, RTS_CONTROL_HANDSHAKE, 0, 0},
        {RTS_CONTROL_TOGGLE, RTS_CONTROL_TOGGLE, CTRL_C_EVENT, 0},
        {RTS_CONTROL_TOGGLE, RTS_CONTROL_TOGGLE, CTRL_CLOSE_EVENT, ERROR_INVALID_PARAMETER},
        {RTS_CONTROL_DISABLE, RTS_CONTROL_ENABLE, 0, ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        SetUp();
        m_fake->dcb.BaudRate = CBR_9600, m_fake->dcb.fOutX = TRUE;
        m_fake->dcb.fRtsControl = c.rtsControl;
        m_fake->timeouts.ReadIntervalTimeout = MAXDWORD;
        OpenConfigured();
        EXPECT_EQ(m_fake->dcb.fRtsControl, c.rtsWhileOpen);
        m_fake->commStateError = c.commStateError;
        if (c.consoleEvent != 0) {
            ASSERT_NE(ControlHandler(), nullptr);
            EXPECT_TRUE(ControlHandler()(c.consoleEvent));
            EXPECT_EQ(Console()->terminatedWith, 130u);
        } else {
            m_port.Close();
        }
        EXPECT_EQ(m_fake->timeouts.ReadIntervalTimeout, MAXDWORD);
        EXPECT_EQ(m_fake->dcb.BaudRate, c.commStateError == 0 ? CBR_9600 : kRate);
        EXPECT_EQ(m_fake->dcb.fOutX, c.commStateError == 0 ? 1u : 0u);
    }
}

// Reads as only real drivers end them: none passes for a byte, stops the reader or loses one.
TEST_F(Kernel32Double, ReadsThatEndWithoutAByteAreNotTakenForOne) {
    struct Case {
        ReadStep step;
        bool withEvent, stopped;
        ReadOutcome expected;
        Cancel cancel = Cancel::kEnds;
    };
    const Case cases[] = {
        {{ReadStep::kByte, 'W'}, true, true, ReadOutcome::kByte},  // stopped, a byte waits
        {{ReadStep::kNone}, true, false, ReadOutcome::kNothing},
        {{ReadStep::kIncompleteByte, 'B'}, true, false, ReadOutcome::kByte},
        {{ReadStep::kIncomplete}, true, false, ReadOutcome::kNothing},
        // A failed read on a live port is issued again.
        {{ReadStep::kFail, 0, ERROR_INVALID_PARAMETER}, true, false, ReadOutcome::kNothing},
        // Through the port handle, a completion is missed when the write signals it too.
        {{ReadStep::kByte, 'E'}, false, false, ReadOutcome::kFailed},
        // A stopped read whose driver ends its cancel only through the purge, or never: then it
        // is left pending for good, and the port taken for gone.
        {{ReadStep::kPend}, true, true, ReadOutcome::kStopped, Cancel::kOnlyByPurge},
        {{ReadStep::kPend}, true, true, ReadOutcome::kGone, Cancel::kNever},
        {{ReadStep::kPend}, true, true, ReadOutcome::kStopped},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        m_fake->reads = {c.step}, m_fake->cancel = c.cancel;
        m_fake->calls.clear();
        const platform::Handle port = platform::OpenPort(kPortName), event = platform::NewEvent(),
                               stop = platform::NewEvent();
        if (c.stopped) {
            platform::SignalEvent(stop);
        }
        std::uint8_t byte = 0;
        EXPECT_EQ(platform::ReadByte(port, c.withEvent ? event : platform::kNoHandle, stop, &byte),
                  c.expected);
        EXPECT_EQ(byte, c.expected == ReadOutcome::kByte ? c.step.byte : 0);
        // Twice: a manual-reset stop stays raised; an auto-reset one would be cleared by a look.
        EXPECT_EQ(platform::IsSignalled(stop), c.stopped);
        EXPECT_EQ(platform::IsSignalled(stop), c.stopped);
        EXPECT_EQ(Count("ReadFile"), c.withEvent ? 1 : 0);
        platform::CloseEvent(event);
        platform::CloseEvent(stop);
        platform::ClosePort(port);
    }
}

// A write is done when the driver's count says so; a held one is given up at its limit, and what it
// left queued is thrown away, not sent ahead of the retry.
TEST_F(Kernel32Double, WritesEndAsTheDriverSays) {
    struct Case {
        WriteBehaviour write;
        WriteOutcome expected;
        Cancel cancel = Cancel::kOnlyByPurge;
    };
    const Case cases[] = {
        {WriteBehaviour::kCompletes, WriteOutcome::kWritten},
        {WriteBehaviour::kAtOnce, WriteOutcome::kWritten},
        {WriteBehaviour::kPartlyAtOnce, WriteOutcome::kFailed},
        {WriteBehaviour::kHeld, WriteOutcome::kHeld},
        // An unplugged adapter's held write whose cancel never ends; the next one still works.
        {WriteBehaviour::kHeld, WriteOutcome::kGone, Cancel::kNever},
        {WriteBehaviour::kHeld, WriteOutcome::kHeld},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        m_fake->write = c.write, m_fake->cancel = c.cancel;
        const platform::Handle port = platform::OpenPort(kPortName), event = platform::NewEvent();
        EXPECT_EQ(platform::WriteMessage(port, event, kMessage, sizeof(kMessage), kShortWaitMs),
                  c.expected);
        EXPECT_EQ(m_fake->queued, 0u);
        platform::CloseEvent(event);
        platform::ClosePort(port);
    }
}

// Unplugged adapters report 22, 1167, 1617 or 995 (as live ports that abort I/O do). Only a port
// whose name has left, or whose driver no longer answers where the name is unknown, is let go; a
// driver without ClearCommError keeps its handle. A gone port's exchange lasts its time-out; once
// back, it is reopened at its rate.
TEST_F(Kernel32Double, OnlyAPortThatHasGoneIsLetGoAndItComesBackAtItsRate) {
    struct Case {
        DWORD error;  // 0: every read completes at once with no byte
        bool onWrite, unplugged;
        DWORD clearCommError = 0;
        bool nameUnknown = false;
    };
    const Case cases[] = {
        {ERROR_OPERATION_ABORTED, false, true, 0, true},
        {ERROR_OPERATION_ABORTED, false, false, ERROR_NOT_SUPPORTED},
        {ERROR_BAD_COMMAND, false, true},
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
        SCOPED_TRACE(&c - cases);
        SetUp();
        m_fake->nameUnknown = c.nameUnknown;
        OpenConfigured();
        m_fake->clearCommErrorError = c.clearCommError;
        const bool letGo =
            c.unplugged || c.error == ERROR_BROKEN_PIPE || c.error == ERROR_GEN_FAILURE;
        const bool readError = !c.onWrite && c.error != 0;
        m_fake->unplugged = c.unplugged;
        m_fake->emptyReadsAtOnce = c.error == 0;
        m_fake->writeError = c.onWrite ? c.error : 0;
        if (readError) {
            // A live port's read is issued again, and then takes the reply.
            m_fake->reads = {{ReadStep::kLateFail, 0, c.error},
                             {ReadStep::kLateByte, SerialPort::kAck}};
        }
        // Long enough to see a read issued again.
        EXPECT_EQ(Exchange(500), readError && !letGo ? SerialPort::kAck : SerialPort::kNoReply);
        // Between a reader that pauses after each empty read and one that spins.
        EXPECT_LE(Count("ReadFile"), 20);
        EXPECT_EQ(m_fake->closes, letGo ? 1 : 0);
        EXPECT_EQ(m_port.IsOpen(), !letGo);
        if (!letGo) {
            continue;
        }
        *m_fake = FakePort{};
        m_fake->name = kPortName;
        m_fake->openError = ERROR_FILE_NOT_FOUND;
        const DWORD started = GetTickCount();
        EXPECT_EQ(Exchange(), SerialPort::kNoReply);
        EXPECT_GE(GetTickCount() - started, kShortWaitMs / 2);
        EXPECT_FALSE(m_port.IsOpen());
        m_fake->openError = 0;  // plugged back in
        m_fake->reads = {{ReadStep::kLateByte, SerialPort::kAck}};
        EXPECT_EQ(Exchange(), SerialPort::kAck);
        EXPECT_EQ(m_fake->opens, 1);
        EXPECT_EQ(m_fake->dcb.BaudRate, kRate);
    }
}

// The scan's own limit is 2 s; anything near one blocking open means the limit did not hold.
constexpr ULONGLONG kScanBoundMs = 5000;

// Bluetooth ports paging absent devices (0, 3 or 64, among ports that open at once): the scan lists
// the others in order within about its limit, with few workers per blocked open, and cancels each
// blocked probe as it ends. The port chosen opens although its driver lets go of the probe late.
TEST(StartUp, PortsWhoseOpenBlocksAreLeftOutWithoutHoldingUpTheScan) {
    const std::vector<std::uint32_t> free = {2, 8, 40, 200};
    for (std::uint32_t blockingCount : {0u, 3u, 64u}) {
        SCOPED_TRACE(blockingCount);
        Reset();
        std::vector<std::string> blocking;
        for (std::uint32_t number = 2; number <= free.back(); ++number) {
            const std::string name = "\\\\.\\COM" + std::to_string(number);
            if (std::count(free.begin(), free.end(), number) != 0) {
                AddPort(name.c_str())->busyAfterCloseMs = kShortWaitMs;
            } else if (blocking.size() < blockingCount) {
                blocking.push_back(name);
                AddPort(name.c_str())->openDelayMs = 10000;
            }
        }
        const ULONGLONG started = GetTickCount64();
        SerialPortList* list = EnumeratePorts();
        ASSERT_NE(list, nullptr);
        std::vector<std::uint32_t> listed;
        for (std::uint32_t index = 0; index < list->Count(); ++index) {
            listed.push_back(list->At(index)->PortNumber());
        }
        EXPECT_EQ(listed, free);
        EXPECT_LT(GetTickCount64() - started, kScanBoundMs);
        EXPECT_LE(OpeningThreads(), 2 * blocking.size() + 1);
        SerialPort* chosen = list->Find(free.back());
        ASSERT_NE(chosen, nullptr);
        EXPECT_TRUE(chosen->Open());
        delete list;

        // The blocked opens end, cancelled, long before the double would let them.
        for (const std::string& name : blocking) {
            const FakePort* port = PortNamed(name.c_str());
            while (port->calls.empty() && GetTickCount64() - started < kScanBoundMs) {
                Sleep(50);
            }
            EXPECT_EQ(port->calls.size(), 1u) << name;
            EXPECT_EQ(port->opens, port->closes) << name;
        }
    }
}

// What reaches WriteConsoleW from print on a console of the given output code page.
std::wstring OnConsole(UINT codePage, void (*print)()) {
    Reset();
    FakeConsole* fake = Console();
    fake->outputIsConsole = true, fake->outputCodePage = codePage;
    console::Setup();
    print();
    console::Flush();
    fake->outputIsConsole = false;
    console::Setup();
    return fake->written;
}

// UTF-16 whatever the code page: an ANSI name on an OEM console; a French system's words without
// their CR; the box as + - | where box characters are two columns wide; pieces of 256 characters.
TEST(Console, TextReachesAConsoleAsUtf16) {
    EXPECT_EQ(OnConsole(850, [] { console::Print("File name: Pr\374fung.bin\n"); }),
              L"File name: Pr\u00FCfung.bin\n");

    const std::wstring ports = OnConsole(850, [] {
        AddPort("\\\\.\\COM251")->openError = ERROR_GEN_FAILURE;
        Console()->messageError = ERROR_GEN_FAILURE;
        Console()->message = L"Un p\u00E9riph\u00E9rique ne fonctionne pas.\r\n";
        PortFinding finding;
        survey::FindPort("COM251", &finding);
        PortPrinter::PrintDetail(finding);
    });
    EXPECT_NE(ports.find(L"cannot open: Un p\u00E9riph\u00E9rique ne fonctionne pas.\n"),
              std::wstring::npos)
        << ports;

    const std::wstring rule(36, L'-');
    const std::wstring plain = L"  +" + rule + L"+\n  | TELVORN v2.00  QEV downloader      |\n" +
                               L"  | Configuration download to the TEQ6 |\n  +" + rule + L"+\n";
    for (UINT codePage : {932u, 936u, 949u, 950u}) {
        EXPECT_EQ(OnConsole(codePage, [] { PrintBanner(); }), plain) << codePage;
    }

    OnConsole(437, [] {
        for (int i = 0; i < 300; ++i) {
            console::Print("%c", 'x');
        }
    });
    EXPECT_EQ(Console()->writes, (std::vector<DWORD>{256, 44}));
}

// No byte from a console (Ctrl+Z, Enter or Ctrl+C) is not the end of input, as from a pipe it is.
TEST(Console, AReadOfNoByteEndsInputOnlyWhenItIsNotAConsole) {
    for (bool isConsole : {true, false}) {
        Reset();
        FakeConsole* console = Console();
        console->inputIsConsole = isConsole;
        console->inputReads = {FakeConsole::kNoByte, FakeConsole::kNoByte, 'x'};
        char character = 0;
        EXPECT_EQ(platform::ReadInputChar(&character), isConsole) << isConsole;
        EXPECT_EQ(character, isConsole ? 'x' : 0) << isConsole;
        EXPECT_EQ(console->inputReads.size(), isConsole ? 0u : 2u) << isConsole;
    }
}

}  // namespace
