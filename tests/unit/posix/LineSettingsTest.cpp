#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>

#include "LinkedTerminal.h"
#include "serial/SerialPort.h"
#include "serial/posix/CustomBaudRate.h"
#include "serial/posix/LineSettings.h"

namespace {

// Translations, echo, signals and software flow control, each of which would alter the bytes.
constexpr tcflag_t kCookedInput = ICRNL | INLCR | IGNCR | ISTRIP | INPCK | IXON | IXOFF | IXANY;
constexpr tcflag_t kCookedOutput = OPOST;
constexpr tcflag_t kCookedLocal = ICANON | ECHO | ISIG | IEXTEN;
constexpr std::uint32_t kStandardRate = 115200;

void ExpectRawEightNOne(const termios& line) {
    EXPECT_EQ(0u, line.c_iflag & kCookedInput);
    EXPECT_EQ(0u, line.c_oflag & kCookedOutput);
    EXPECT_EQ(0u, line.c_lflag & kCookedLocal);
    EXPECT_EQ(static_cast<tcflag_t>(CS8), line.c_cflag & CSIZE);
    EXPECT_EQ(0u, line.c_cflag & (PARENB | CSTOPB));
    EXPECT_EQ(static_cast<tcflag_t>(CLOCAL | CREAD), line.c_cflag & (CLOCAL | CREAD));
}

void ExpectSameLine(const termios& expected, const termios& actual) {
    EXPECT_EQ(expected.c_iflag, actual.c_iflag);
    EXPECT_EQ(expected.c_oflag, actual.c_oflag);
    EXPECT_EQ(expected.c_cflag, actual.c_cflag);
    EXPECT_EQ(expected.c_lflag, actual.c_lflag);
    EXPECT_EQ(0, std::memcmp(expected.c_cc, actual.c_cc, sizeof expected.c_cc));
    EXPECT_EQ(cfgetispeed(&expected), cfgetispeed(&actual));
    EXPECT_EQ(cfgetospeed(&expected), cfgetospeed(&actual));
}

// A terminal and a second descriptor on it to watch what the port object does to the line.
class ConfiguredLine : public ::testing::Test {
  protected:
    void Watch(LinkedTerminal* terminal) {
        ASSERT_TRUE(terminal->IsReady());
        m_observer = terminal->OpenSlave();
        ASSERT_GE(m_observer, 0);
    }
    void TearDown() override {
        if (m_observer >= 0) {
            close(m_observer);
        }
    }
    termios Line() const {
        termios line{};
        EXPECT_EQ(0, tcgetattr(m_observer, &line));
        return line;
    }
    std::uint32_t Rate() const {
        std::uint32_t rate = 0;
        EXPECT_TRUE(platform::posix::ReadBaudRate(m_observer, &rate));
        return rate;
    }

    int m_observer = -1;
};

}  // namespace

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

TEST_F(ConfiguredLine, ConfigureMakesTheLineRawAndCloseRestoresItExactly) {
    constexpr std::uint32_t kPort = 108;
    LinkedTerminal terminal(kPort);
    ASSERT_NO_FATAL_FAILURE(Watch(&terminal));
    termios found = Line();
    found.c_cflag |= CRTSCTS | CSTOPB;
    ASSERT_EQ(0, tcsetattr(m_observer, TCSANOW, &found));
    const termios before = Line();
    ASSERT_NE(0u, before.c_cflag & CRTSCTS);

    SerialPort port;
    ASSERT_TRUE(port.SetPortNumber(kPort));
    ASSERT_TRUE(port.Configure(kStandardRate));
    const termios configured = Line();
    ExpectRawEightNOne(configured);
    EXPECT_NE(0u, configured.c_cflag & CRTSCTS);
    EXPECT_EQ(static_cast<speed_t>(B115200), cfgetospeed(&configured));
    EXPECT_EQ(static_cast<speed_t>(B115200), cfgetispeed(&configured));

    port.Close();
    ExpectSameLine(before, Line());
}

TEST_F(ConfiguredLine, RateWithoutStandardCodeIsSetExactlyAndUndoneOnClose) {
    constexpr std::uint32_t kPort = 109;
    constexpr std::uint32_t kDmxRate = 250000;
    LinkedTerminal terminal(kPort);
    ASSERT_NO_FATAL_FAILURE(Watch(&terminal));
    const std::uint32_t rateBefore = Rate();

    SerialPort port;
    ASSERT_TRUE(port.SetPortNumber(kPort));
    ASSERT_TRUE(port.Configure(kDmxRate));
    EXPECT_EQ(kDmxRate, Rate());
    ExpectRawEightNOne(Line());

    port.Close();
    EXPECT_EQ(rateBefore, Rate());
}

TEST_F(ConfiguredLine, RateAboveTheLargestSignedIntIsRefusedAndTheLineLeftAlone) {
    constexpr std::uint32_t kPort = 110;
    constexpr std::uint32_t kTooHigh[] = {2147483648u, 4294967295u};
    LinkedTerminal terminal(kPort);
    ASSERT_NO_FATAL_FAILURE(Watch(&terminal));
    const termios before = Line();

    SerialPort port;
    ASSERT_TRUE(port.SetPortNumber(kPort));
    for (const std::uint32_t rate : kTooHigh) {
        EXPECT_FALSE(port.Configure(rate)) << rate;
    }
    ExpectSameLine(before, Line());
}
