#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <iterator>
#include <vector>

#include "LinkedTerminal.h"
#include "serial/SerialPort.h"
#include "serial/posix/CustomBaudRate.h"
#include "serial/posix/LineSettings.h"

namespace {

// Translations, echo, signals and software flow control, each of which would alter the bytes.
constexpr tcflag_t kCookedInput = ICRNL | INLCR | IGNCR | ISTRIP | INPCK | IXON | IXOFF | IXANY;
constexpr tcflag_t kCookedLocal = ICANON | ECHO | ISIG | IEXTEN;

void ExpectRawEightNOne(const termios& line) {
    EXPECT_EQ(0u, line.c_iflag & kCookedInput);
    EXPECT_EQ(0u, line.c_oflag & OPOST);
    EXPECT_EQ(0u, line.c_lflag & kCookedLocal);
    EXPECT_EQ(static_cast<tcflag_t>(CS8), line.c_cflag & CSIZE);
    EXPECT_EQ(0u, line.c_cflag & (PARENB | CSTOPB));
    EXPECT_EQ(static_cast<tcflag_t>(CLOCAL | CREAD), line.c_cflag & (CLOCAL | CREAD));
}

// What the port object must put back as it found it.
std::vector<unsigned long> Settings(const termios& line) {
    std::vector<unsigned long> settings = {line.c_iflag, line.c_oflag,       line.c_cflag,
                                           line.c_lflag, cfgetispeed(&line), cfgetospeed(&line)};
    settings.insert(settings.end(), std::begin(line.c_cc), std::end(line.c_cc));
    return settings;
}

// A pseudo-terminal always reports 8 bits without parity, so the frame is checked here.
TEST(RawLine, AnyFrameBecomesEightNOneWithSpeedAndHardwareFlowControlKept) {
    for (const tcflag_t hardwareFlow : {tcflag_t{0}, tcflag_t{CRTSCTS}}) {
        termios line{};
        line.c_iflag = kCookedInput | IUCLC | BRKINT | PARMRK;
        line.c_oflag = OPOST | ONLCR;
        line.c_lflag = kCookedLocal | ECHONL;
        line.c_cflag = CS7 | PARENB | PARODD | CSTOPB | HUPCL | hardwareFlow;
        ASSERT_EQ(0, cfsetospeed(&line, B2400));
        platform::posix::MakeRawEightNOne(&line);
        ExpectRawEightNOne(line);
        EXPECT_EQ(hardwareFlow, line.c_cflag & CRTSCTS);
        EXPECT_EQ(static_cast<tcflag_t>(HUPCL), line.c_cflag & HUPCL);
        EXPECT_EQ(static_cast<speed_t>(B2400), cfgetospeed(&line));
    }
}

// Watched through a second descriptor on the terminal: a standard rate, a rate without a
// standard code, and rates above the largest signed int, which are refused.
TEST(ConfiguredLine, IsRawAtTheExactRateAndRestoredExactlyOnClose) {
    constexpr std::uint32_t kPort = 109;
    LinkedTerminal terminal(kPort);
    ASSERT_TRUE(terminal.IsReady());
    const int observer = terminal.Other();
    const auto line = [observer] {
        termios line{};
        EXPECT_EQ(0, tcgetattr(observer, &line));
        return line;
    };
    const auto rate = [observer] {
        std::uint32_t rate = 0;
        EXPECT_TRUE(platform::posix::ReadBaudRate(observer, &rate));
        return rate;
    };
    termios found = line();
    found.c_cflag |= CRTSCTS | CSTOPB;
    ASSERT_EQ(0, tcsetattr(observer, TCSANOW, &found));
    const termios before = line();
    ASSERT_NE(0u, before.c_cflag & CRTSCTS);

    // Where termios2 is missing (qemu-user, some kernels) a rate without a code is refused.
    std::uint32_t unused = 0;
    const bool customRates = platform::posix::ReadCustomBaudRate(observer, &unused);
    SerialPort port;
    ASSERT_TRUE(port.SetPortNumber(kPort));
    for (const std::uint32_t baudRate : {115200u, 250000u}) {
        const bool settable = customRates || platform::posix::StandardCodeFor(baudRate) != B0;
        ASSERT_EQ(settable, port.Configure(baudRate)) << baudRate;
        if (settable) {
            const termios configured = line();
            ExpectRawEightNOne(configured);
            EXPECT_NE(0u, configured.c_cflag & CRTSCTS);
            EXPECT_EQ(baudRate, rate());
            if (baudRate == 115200) {  // a standard rate goes by its code
                EXPECT_EQ(static_cast<speed_t>(B115200), cfgetospeed(&configured));
                EXPECT_EQ(static_cast<speed_t>(B115200), cfgetispeed(&configured));
            }
        }
        port.Close();
        EXPECT_EQ(Settings(before), Settings(line()));
    }
    for (const std::uint32_t tooHigh : {2147483648u, 4294967295u}) {
        EXPECT_FALSE(port.Configure(tooHigh)) << tooHigh;
    }
    EXPECT_EQ(Settings(before), Settings(line()));
}

}  // namespace
