// The port object's exchange over the Win32 layer, against a port that echoes: whatever reply
// byte the message ends with comes back as the device's answer.
#include <windows.h>

#include <gtest/gtest.h>

#include "MappedPort.h"
#include "serial/SerialPort.h"

namespace {

using win32test::kEchoPortVariable;
using win32test::kHangGuardMs;

TEST(Win32Exchange, TheEchoedReplyEndsTheExchange) {
    const std::uint32_t number = win32test::MappedPortNumber(kEchoPortVariable);
    if (number == 0) {
        GTEST_SKIP() << kEchoPortVariable << " is not set: run under scripts/wine-run-with-ports";
    }
    SerialPort port;
    ASSERT_TRUE(port.SetPortNumber(number));
    ASSERT_TRUE(port.Configure(CBR_115200));

    const std::uint8_t ack[] = {SerialPort::kAck};
    EXPECT_EQ(port.Exchange(ack, sizeof(ack), kHangGuardMs, false), SerialPort::kAck);
    const std::uint8_t textThenNak[] = {'o', 'k', SerialPort::kNak};
    EXPECT_EQ(port.Exchange(textThenNak, sizeof(textThenNak), kHangGuardMs, false),
              SerialPort::kNak);
}

}  // namespace
