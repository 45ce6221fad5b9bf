// The reply rules of one exchange, with the test playing the device on a pseudo-terminal: what
// counts as the reply, what reaches the console, and that nothing hangs.
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "LineDouble.h"
#include "LinkedTerminal.h"
#include "Watchdog.h"
#include "serial/SerialPort.h"
#include "serial/posix/LineSettings.h"

namespace {

constexpr int kReadWaitMs = 5000;
constexpr std::uint32_t kPort = 97;
const std::string kMessage = "\x03\x12\x00\xFF";
const std::uint8_t* const kMessageBytes = reinterpret_cast<const std::uint8_t*>(kMessage.data());

// Reads the whole message from the master, then answers with reply, or hangs up.
std::string PlayDevice(LinkedTerminal* line, const std::string& reply, bool hangUp) {
    const std::vector<std::uint8_t> received = line->Receive(kMessage.size());
    if (hangUp) {
        line->CloseMaster();
    } else {
        EXPECT_EQ(write(line->Master(), reply.data(), reply.size()),
                  static_cast<ssize_t>(reply.size()));
    }
    return std::string(received.begin(), received.end());
}

TEST(Exchange, TakesTheFirstReplyByteAndShowsOnlyPrintableText) {
    const struct {
        const char* what;
        std::string before;  // on the line before the exchange starts
        std::string reply;
        std::uint32_t timeoutMs;
        bool announce;
        bool hangUp;
        std::uint8_t expected;
        std::string console;
    } cases[] = {
        {"an ACK at once: no dot, nothing shown", "", "\x06", 2000, false, false, SerialPort::kAck,
         ""},
        {"text, then NAK", "", "BAD BLOCK\x15", 2000, false, false, SerialPort::kNak, "BAD BLOCK"},
        {"control bytes are neither shown nor replies; the first reply byte counts", "",
         std::string("\r\n\x00\x7F\x80\xFF\x1B[2J\a", 10) + "ok\x15\x06", 2000, false, false,
         SerialPort::kNak, "[2Jok"},
        {"a silent device: a dot after the time-out", "", "", 100, false, false,
         SerialPort::kNoReply, "."},
        {"an ACK left over from before the exchange is not its reply", "late\x06", "", 100, false,
         false, SerialPort::kNoReply, "."},
        {"the pause after the announcement runs past the wait: a dot, still ACK", "", "\x06", 500,
         true, false, SerialPort::kAck, "\nPreparing to load TEQ6 data..\n."},
        // Last: the line is gone afterwards.
        {"a hang-up ends the exchange without a reply", "", "", 200, false, true,
         SerialPort::kNoReply, "."},
    };
    std::unique_ptr<LinkedTerminal> line(new LinkedTerminal(kPort));
    ASSERT_TRUE(line->IsReady());
    SerialPort port;
    ASSERT_TRUE(port.SetPortNumber(kPort));
    ASSERT_TRUE(port.Configure(115200));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.before.empty()) {
            ASSERT_EQ(write(line->Master(), c.before.data(), c.before.size()),
                      static_cast<ssize_t>(c.before.size()));
            usleep(50 * 1000);
        }
        std::string deviceGot;
        std::thread device([&] { deviceGot = PlayDevice(line.get(), c.reply, c.hangUp); });
        testing::internal::CaptureStdout();
        const std::uint8_t reply = port.Exchange(
            kMessageBytes, static_cast<std::uint32_t>(kMessage.size()), c.timeoutMs, c.announce);
        const std::string console = testing::internal::GetCapturedStdout();
        device.join();
        EXPECT_EQ(deviceGot, kMessage);
        EXPECT_EQ(reply, c.expected);
        EXPECT_EQ(console, c.console);
    }
    // The adapter comes back under its name: the next exchange opens the new line, sets it raw at
    // the port's rate again, and gets the reply.
    line.reset();
    line.reset(new LinkedTerminal(kPort));
    ASSERT_TRUE(line->IsReady());
    std::thread device([&] { PlayDevice(line.get(), "\x06", false); });
    testing::internal::CaptureStdout();
    EXPECT_EQ(port.Exchange(kMessageBytes, 4, kReadWaitMs, false), SerialPort::kAck);
    testing::internal::GetCapturedStdout();
    device.join();
    std::uint32_t rate = 0;
    EXPECT_TRUE(platform::posix::ReadBaudRate(line->Other(), &rate));
    EXPECT_EQ(rate, 115200u);
}

struct Attempt {
    SerialPort* port;
    const std::uint8_t* message;
    std::uint32_t length;
    std::uint32_t timeoutMs;
    std::uint8_t reply;
};

// An exchange that must end, on a thread of its own: the watchdog ends the run when it does not.
std::uint8_t ExchangeThatMustEnd(SerialPort* port, const std::uint8_t* message,
                                 std::uint32_t length, std::uint32_t timeoutMs) {
    Attempt attempt{port, message, length, timeoutMs, SerialPort::kAck};
    const platform::Handle thread = platform::StartThread(
        [](void* argument) -> std::uint32_t {
            Attempt* attempt = static_cast<Attempt*>(argument);
            attempt->reply = attempt->port->Exchange(attempt->message, attempt->length,
                                                     attempt->timeoutMs, false);
            return 0;
        },
        &attempt);
    EXPECT_NE(platform::kNoHandle, thread);
    AwaitEnd(thread);
    return attempt.reply;
}

// A byte that is there wins over the stop signal, yet a device that never stops talking must not
// hold the exchange (and the download, and the user's x) for ever. A pseudo-terminal's input has
// gaps however fast the device writes, so the double keeps the line readable.
TEST(Exchange, DeviceThatNeverStopsTalkingDoesNotHoldIt) {
    LinkedTerminal line(121);
    ASSERT_TRUE(line.IsReady());
    SerialPort port;
    ASSERT_TRUE(port.SetPortNumber(121));
    ASSERT_TRUE(port.Configure(115200));
    line_double::KeepReadable(true);
    testing::internal::CaptureStdout();
    const std::uint8_t reply = ExchangeThatMustEnd(&port, kMessageBytes, 4, 100);
    line_double::KeepReadable(false);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), ".");
    EXPECT_EQ(reply, SerialPort::kNoReply);
}

// Flow control holding a block's write: the write is given up at its bound, which leaves the
// block at least twice its time on the wire (10 bits a byte) at any rate, and the attempt then
// ends at once with its dot, without waiting for a reply that cannot come.
TEST(Exchange, AHeldWriteEndsTheAttemptAtItsBound) {
    constexpr std::uint32_t kHeldPort = 122;
    constexpr std::uint64_t kBitsPerByte = 10;
    constexpr std::uint64_t kMsPerSecond = 1000;
    constexpr std::uint32_t kNeverMs = 10 * kWatchdogMs;
    LinkedTerminal line(kHeldPort);
    ASSERT_TRUE(line.IsReady());
    SerialPort port;
    ASSERT_TRUE(port.SetPortNumber(kHeldPort));
    const std::vector<std::uint8_t> block(kBlockSize, 0x55);
    for (const std::uint32_t rate : {300u, 9600u, 115200u}) {
        SCOPED_TRACE(rate);
        ASSERT_TRUE(port.Configure(rate));
        ASSERT_EQ(0, tcflow(line.Other(), TCOOFF));
        line_double::HoldWrites(true);
        testing::internal::CaptureStdout();
        const std::uint8_t reply = ExchangeThatMustEnd(&port, block.data(), kBlockSize, kNeverMs);
        line_double::HoldWrites(false);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), ".");
        EXPECT_EQ(reply, SerialPort::kNoReply);
        const std::uint64_t wireMs = kBlockSize * kBitsPerByte * kMsPerSecond / rate;
        EXPECT_GE(line_double::HeldWaitMs(), static_cast<int>(2 * wireMs));
        ASSERT_EQ(0, tcflow(line.Other(), TCOON));
    }
}

}  // namespace
