// The reply rules of one exchange, with the test playing the device on a pseudo-terminal: what
// counts as the reply, what reaches the console, and that nothing hangs.
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "LinkedTerminal.h"
#include "serial/SerialPort.h"

namespace {

constexpr int kReadWaitMs = 5000;
const std::string kMessage = "\x03\x12\x00\xFF";

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
    LinkedTerminal line(97);
    ASSERT_TRUE(line.IsReady());
    SerialPort port;
    ASSERT_TRUE(port.SetPortNumber(97));
    ASSERT_TRUE(port.Configure(115200));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.before.empty()) {
            ASSERT_EQ(write(line.Master(), c.before.data(), c.before.size()),
                      static_cast<ssize_t>(c.before.size()));
            usleep(50 * 1000);
        }
        std::string deviceGot;
        std::thread device([&] { deviceGot = PlayDevice(&line, c.reply, c.hangUp); });
        testing::internal::CaptureStdout();
        const std::uint8_t reply =
            port.Exchange(reinterpret_cast<const std::uint8_t*>(kMessage.data()),
                          static_cast<std::uint32_t>(kMessage.size()), c.timeoutMs, c.announce);
        const std::string console = testing::internal::GetCapturedStdout();
        device.join();
        EXPECT_EQ(deviceGot, kMessage);
        EXPECT_EQ(reply, c.expected);
        EXPECT_EQ(console, c.console);
    }
}

// A byte that is there wins over the stop signal, yet a device that never stops talking must not
// hold the exchange (and the download, and the user's x) for ever.
TEST(Exchange, DeviceThatNeverStopsTalkingDoesNotHoldIt) {
    LinkedTerminal line(121);
    ASSERT_TRUE(line.IsReady());
    SerialPort port;
    ASSERT_TRUE(port.SetPortNumber(121));
    ASSERT_TRUE(port.Configure(115200));
    std::atomic<bool> talking{true};
    std::thread chatter([&] {
        const std::string text(256, 'z');
        pollfd room = {line.Master(), POLLOUT, 0};
        while (talking && poll(&room, 1, kReadWaitMs) == 1 &&
               write(line.Master(), text.data(), text.size()) > 0) {
        }
    });
    testing::internal::CaptureStdout();
    const std::uint8_t reply =
        port.Exchange(reinterpret_cast<const std::uint8_t*>(kMessage.data()), 4, 100, false);
    const std::string console = testing::internal::GetCapturedStdout();
    talking = false;
    chatter.join();
    EXPECT_EQ(reply, SerialPort::kNoReply);
    EXPECT_NE(console.find('.'), std::string::npos);
}

}  // namespace
