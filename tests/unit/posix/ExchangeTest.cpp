// The reply rules of one exchange and the port's reads and writes beneath it, with the test playing
// the device on a pseudo-terminal: what counts as the reply, what reaches the console, what
// reaches the device, and that nothing hangs.
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "LineDouble.h"
#include "LinkedTerminal.h"
#include "platform/Port.h"
#include "platform/Threads.h"
#include "platform/posix/LineSettings.h"
#include "serial/SerialPort.h"

namespace {

using platform::ReadOutcome;
using platform::WriteOutcome;
using Bytes = std::vector<std::uint8_t>;

const Bytes kMessage = {0x03, 0x12, 0x00, 0xFF};
// The message leaves as its exchange starts: waiting longer for it would only slow a failure.
constexpr std::uint32_t kMessageDueMs = 5000;

// The port end of a linked line: as an exchange holds it (Configure), or only its handle, open and
// raw, for ReadByte and WriteMessage beneath the exchange (m_port). Within kStillWaitingMs a write
// that wrongly returns at once has done so.
constexpr std::uint32_t kStillWaitingMs = 100;
constexpr std::uint32_t kNoLimitMs = 60000;

class ExchangeLine : public ::testing::Test {
  protected:
    void Configure(std::uint32_t number) {
        m_terminal.reset(new LinkedTerminal(number));
        ASSERT_TRUE(m_serialPort.SetPortNumber(number));
        ASSERT_TRUE(m_serialPort.Configure(115200));
    }
    // On a thread of its own: a hang ends the run, as the thread would go on using the test's data.
    std::uint8_t ExchangeThatMustEnd(const Bytes& message, std::uint32_t timeoutMs,
                                     bool announce = false) {
        std::future<std::uint8_t> reply = std::async(std::launch::async, [&] {
            return m_serialPort.Exchange(message.data(), static_cast<std::uint32_t>(message.size()),
                                         timeoutMs, announce);
        });
        if (reply.wait_for(std::chrono::milliseconds(kWatchdogMs)) != std::future_status::ready) {
            std::fprintf(stderr, "The exchange did not end: it hangs.\n");
            std::abort();
        }
        return reply.get();
    }
    // One exchange: the device takes the whole message, then answers with reply or hangs up.
    std::uint8_t Exchange(const std::string& reply, std::uint32_t timeoutMs, bool announce,
                          bool hangUp, std::string* console) {
        Bytes deviceGot;
        std::thread device([&] {
            deviceGot = m_terminal->Receive(kMessage.size(), kMessageDueMs);
            if (hangUp) {
                m_terminal->CloseMaster();
            } else {
                EXPECT_EQ(write(m_terminal->Master(), reply.data(), reply.size()),
                          static_cast<ssize_t>(reply.size()));
            }
        });
        testing::internal::CaptureStdout();
        const std::uint8_t got = ExchangeThatMustEnd(kMessage, timeoutMs, announce);
        *console = testing::internal::GetCapturedStdout();
        device.join();
        EXPECT_EQ(deviceGot, kMessage);
        return got;
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
    SerialPort m_serialPort;
    platform::Handle m_port = platform::kNoHandle;
};

TEST_F(ExchangeLine, TakesTheFirstReplyByteAndShowsOnlyPrintableText) {
    constexpr std::uint32_t kPort = 97;
    const struct {
        const char* what;
        std::string before;  // on the line before the exchange starts
        std::string reply;
        std::uint32_t timeoutMs;
        bool announce, hangUp;
        std::uint8_t expected;
        std::string console;
    } cases[] = {
        {"control bytes are neither shown nor replies", "",
         std::string("\r\n\x00\x7F\x80\xFF\x1B[2J\a", 10) + "ok\x15\x06", 2000, false, false,
         SerialPort::kNak, "[2Jok"},
        {"an ACK from before is not the reply", "late\x06", "", 100, false, false,
         SerialPort::kNoReply, "."},
        {"the announcement's pause outlasts the wait", "", "\x06", 500, true, false,
         SerialPort::kAck, "\nPreparing to load TEQ6 data..\n."},
        {"a hang-up (last: the line is gone)", "", "", 200, false, true, SerialPort::kNoReply, "."},
    };
    ASSERT_NO_FATAL_FAILURE(Configure(kPort));
    std::string console;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(write(m_terminal->Master(), c.before.data(), c.before.size()),
                  static_cast<ssize_t>(c.before.size()));
        usleep(50 * 1000);
        EXPECT_EQ(Exchange(c.reply, c.timeoutMs, c.announce, c.hangUp, &console), c.expected);
        EXPECT_EQ(console, c.console);
    }
    // The adapter comes back under its name, and goes and comes back again, more times than the
    // program holds ports: each time the next exchange opens the new line, sets it raw at the
    // port's rate again, and gets the reply.
    for (int replug = 0; replug < 9; ++replug) {
        if (replug > 0) {
            EXPECT_EQ(Exchange("", 200, false, true, &console), SerialPort::kNoReply);
        }
        m_terminal.reset();
        m_terminal.reset(new LinkedTerminal(kPort));
        EXPECT_EQ(Exchange("\x06", 5000, false, false, &console), SerialPort::kAck) << replug;
    }
    std::uint32_t rate = 0;
    EXPECT_TRUE(platform::posix::ReadBaudRate(m_terminal->Other(), &rate));
    EXPECT_EQ(rate, 115200u);
}

// A device that never stops talking (the double keeps the line readable: a pseudo-terminal's
// input has gaps) must not hold the exchange for ever; a write held by flow control is given up
// at its bound, twice the block's time on the wire (10 bits a byte) plus the exchange's time-out,
// and what it left queued is thrown away, not sent ahead of the retry. An ACK read meanwhile
// answers the attempt.
TEST_F(ExchangeLine, NeitherANeverSilentDeviceNorAHeldWriteHoldsIt) {
    constexpr std::uint32_t kHeldPort = 122;
    constexpr std::uint32_t kNeverMs = 10 * kWatchdogMs, kSetUpSlackMs = 1000;
    ASSERT_NO_FATAL_FAILURE(Configure(kHeldPort));
    line_double::keepReadable = true;
    testing::internal::CaptureStdout();
    EXPECT_EQ(ExchangeThatMustEnd(kMessage, 100), SerialPort::kNoReply);
    line_double::keepReadable = false;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), ".");

    const Bytes block(kBlockSize, 0x55);
    for (const std::uint32_t rate : {300u, 9600u, 115200u}) {
        SCOPED_TRACE(rate);
        ASSERT_TRUE(m_serialPort.Configure(rate));
        ASSERT_EQ(0, tcflow(m_terminal->Other(), TCOOFF));
        line_double::heldWaitMs = -1;
        line_double::outputFlushed = false;
        const bool answered = rate == 9600;
        line_double::answerWhileHeld = answered ? m_terminal->Master() : -1;
        line_double::holdWrites = true;
        testing::internal::CaptureStdout();
        EXPECT_EQ(ExchangeThatMustEnd(block, kNeverMs),
                  answered ? SerialPort::kAck : SerialPort::kNoReply);
        line_double::holdWrites = false;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), answered ? "" : ".");
        EXPECT_TRUE(line_double::outputFlushed);
        EXPECT_TRUE(m_serialPort.LastWriteHeld());
        const std::uint64_t wireMs = kBlockSize * 10 * 1000 / rate;
        EXPECT_GE(line_double::heldWaitMs, static_cast<int>(2 * wireMs + kNeverMs - kSetUpSlackMs));
        ASSERT_EQ(0, tcflow(m_terminal->Other(), TCOON));
    }
}

// Beneath the exchange: a reply that arrives as the time-out ends still counts, and the stop
// signal stays signalled. A message far larger than a pseudo-terminal buffers arrives byte for
// byte after the writer waits for room (a prime period, which holds every control byte a cooked
// terminal acts on, never lines up with a buffer size). A stopped line (flow control, another
// program's tcflow()) or a driver still sending holds a write until its limit; a hung-up line
// (the adapter gone, EIO) is gone.
TEST_F(ExchangeLine, ReadsAndWritesEndAsTheLineAllows) {
    m_terminal.reset(new LinkedTerminal(113));
    m_port = platform::OpenPort(m_terminal->DeviceName());
    ASSERT_TRUE(m_port != platform::kNoHandle && platform::SetLineSettings(m_port, 9600));
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

    Bytes message(2 * 1024 * 1024);
    for (std::size_t i = 0; i < message.size(); ++i) {
        message[i] = static_cast<std::uint8_t>(i % 251);
    }
    Bytes received;
    std::thread device([&] { received = m_terminal->Receive(message.size()); });
    EXPECT_EQ(WriteOutcome::kWritten, Write(message, kNoLimitMs));
    device.join();
    EXPECT_EQ(message, received);

    ASSERT_EQ(0, tcflow(static_cast<int>(m_port), TCOOFF));
    EXPECT_EQ(WriteOutcome::kHeld, Write({SerialPort::kAck}, kStillWaitingMs));
    ASSERT_EQ(0, tcflow(static_cast<int>(m_port), TCOON));
    line_double::keepQueued = true;
    EXPECT_EQ(WriteOutcome::kHeld, Write({SerialPort::kAck}, kStillWaitingMs));
    line_double::keepQueued = false;
    m_terminal->CloseMaster();
    EXPECT_EQ(WriteOutcome::kGone, Write({SerialPort::kAck}, kStillWaitingMs));
}

}  // namespace
