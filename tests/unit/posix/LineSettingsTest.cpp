#include <termios.h>

#include <gtest/gtest.h>

#include <iterator>
#include <vector>

#include "LineDouble.h"
#include "LinkedTerminal.h"
#include "platform/posix/CustomBaudRate.h"
#include "platform/posix/LineSettings.h"
#include "serial/SerialPort.h"

namespace {

// What the port object must put back as it found it.
std::vector<unsigned long> Settings(const termios& line) {
    std::vector<unsigned long> settings = {line.c_iflag, line.c_oflag,       line.c_cflag,
                                           line.c_lflag, cfgetispeed(&line), cfgetospeed(&line)};
    settings.insert(settings.end(), std::begin(line.c_cc), std::end(line.c_cc));
    return settings;
}

// Watched through a second descriptor on a terminal left cooked, with VMIN=4, hardware flow
// control and a rate without a standard code (which tcgetattr() does not carry); set to either
// kind.
TEST(ConfiguredLine, IsRawAtTheExactRateWithinItsToleranceAndRestoredExactlyOnClose) {
    constexpr std::uint32_t kPort = 109;
    LinkedTerminal terminal(kPort);
    const int observer = terminal.Other();
    const auto line = [observer] {
        termios line{};
        EXPECT_EQ(0, tcgetattr(observer, &line));
        return line;
    };
    const auto rate = [observer] {
        std::uint32_t rate = 0;
        return platform::posix::ReadBaudRate(observer, &rate) ? rate : 0;
    };
    termios found = line();
    found.c_iflag |= ICRNL | IXON | ISTRIP;
    found.c_lflag |= ICANON | ECHO | ISIG;
    found.c_cflag |= CRTSCTS | CSTOPB;
    found.c_cc[VMIN] = 4, found.c_cc[VTIME] = 5;
    ASSERT_EQ(0, tcsetattr(observer, TCSANOW, &found));
    // Where termios2 is missing (qemu-user, some kernels), a rate without a code can be neither
    // found on the port nor set.
    const bool customRates = platform::posix::SetCustomBaudRate(observer, 250000);
    const std::uint32_t foundRate = rate();
    const termios before = line();
    ASSERT_NE(0u, before.c_cflag & CRTSCTS);
    SerialPort port;
    ASSERT_TRUE(port.SetPortNumber(kPort));
    for (const std::uint32_t baudRate : {115200u, 250000u}) {
        const bool settable = customRates || platform::posix::StandardCodeFor(baudRate) != B0;
        ASSERT_EQ(settable, port.Configure(baudRate)) << baudRate;
        if (settable) {
            const termios configured = line();
            EXPECT_EQ(0u, configured.c_iflag & (ICRNL | IXON | ISTRIP));
            EXPECT_EQ(0u, configured.c_lflag & (ICANON | ECHO | ISIG));
            EXPECT_EQ(static_cast<tcflag_t>(CS8), configured.c_cflag & (CSIZE | PARENB | CSTOPB));
            EXPECT_NE(0u, configured.c_cflag & CRTSCTS);
            EXPECT_EQ(1, configured.c_cc[VMIN]);
            EXPECT_EQ(0, configured.c_cc[VTIME]);
            EXPECT_EQ(baudRate, rate());
            if (baudRate == 115200) {  // a standard rate goes by its code
                EXPECT_EQ(static_cast<speed_t>(B115200), cfgetospeed(&configured));
                EXPECT_EQ(static_cast<speed_t>(B115200), cfgetispeed(&configured));
            }
        }
        port.Close();
        EXPECT_EQ(Settings(before), Settings(line()));
        EXPECT_EQ(foundRate, rate());
    }
    // A driver may keep another rate than the one asked for, or report the nearest its clock makes.
    const struct {
        std::uint32_t reported;
        bool taken;
    } readBack[] = {{115200, true}, {117500, true}, {113000, true}, {120000, false}, {9600, false}};
    for (const auto& c : readBack) {
        line_double::reportedRate = c.reported;
        EXPECT_EQ(c.taken, port.Configure(115200)) << "reported " << c.reported;
        line_double::reportedRate = 0;
        port.Close();
    }
}

}  // namespace
