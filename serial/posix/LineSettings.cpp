#include "serial/posix/LineSettings.h"

#include <cstdint>

#include "serial/Platform.h"
#include "serial/posix/CustomBaudRate.h"
#include "serial/posix/Descriptor.h"

namespace platform {
namespace posix {

namespace {

// What the terminal driver would do to incoming bytes: the device's data must arrive untouched.
constexpr tcflag_t kInputProcessing =
    IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | INPCK;
// A Linux terminal default, not a setting of the line: with it, a 0x13 byte from the device would
// stall our writes.
constexpr tcflag_t kSoftwareFlowControl = IXON | IXOFF | IXANY;
constexpr tcflag_t kOutputProcessing = OPOST;
constexpr tcflag_t kLocalProcessing = ECHO | ECHONL | ICANON | ISIG | IEXTEN;
constexpr tcflag_t kFrameBits = CSIZE | PARENB | CSTOPB;
constexpr tcflag_t kEightNOne = CS8;
// No modem-line hang-ups for a device that may not drive them, and a receiver that takes bytes.
constexpr tcflag_t kLocalReceiver = CLOCAL | CREAD;

}  // namespace

void MakeRawEightNOne(termios* line) {
    line->c_iflag &= ~(kInputProcessing | kSoftwareFlowControl);
    line->c_oflag &= ~kOutputProcessing;
    line->c_lflag &= ~kLocalProcessing;
    line->c_cflag = (line->c_cflag & ~kFrameBits) | kEightNOne | kLocalReceiver;
}

}  // namespace posix

namespace {

struct StandardRate {
    std::uint32_t rate;
    speed_t code;
};

constexpr StandardRate kStandardRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

constexpr std::uint64_t kRateTolerancePercent = 3;
constexpr std::uint64_t kPercent = 100;

bool WithinTolerance(std::uint32_t actual, std::uint32_t wanted) {
    const std::uint64_t difference = actual > wanted ? actual - wanted : wanted - actual;
    return difference * kPercent <= wanted * kRateTolerancePercent;
}

bool ApplyLine(int port, const termios& line) {
    return tcsetattr(port, TCSANOW, &line) == 0;
}

bool ApplyLineAndRate(int port, termios* line, std::uint32_t rate) {
    const speed_t code = posix::StandardCodeFor(rate);
    if (code == B0) {
        return ApplyLine(port, *line) && posix::SetCustomBaudRate(port, rate);
    }
    return cfsetispeed(line, code) == 0 && cfsetospeed(line, code) == 0 && ApplyLine(port, *line);
}

}  // namespace

bool SetLineSettings(Handle port, std::uint32_t baudRate) {
    // A rate of 0 would hang the line up.
    if (baudRate == 0) {
        return false;
    }
    const int descriptor = posix::DescriptorOf(port);
    termios line{};
    if (tcgetattr(descriptor, &line) != 0) {
        return false;
    }
    posix::MakeRawEightNOne(&line);
    if (!ApplyLineAndRate(descriptor, &line, baudRate)) {
        return false;
    }
    // tcsetattr() succeeds when any of the changes took, and a driver that cannot run at a rate
    // may keep another one: the rate the port now reports must be the one asked for, give or
    // take what a UART tolerates (some USB adapters report the nearest rate their clock makes).
    std::uint32_t actual = 0;
    return posix::ReadBaudRate(descriptor, &actual) && WithinTolerance(actual, baudRate);
}

namespace posix {

speed_t StandardCodeFor(std::uint32_t rate) {
    for (const StandardRate& standard : kStandardRates) {
        if (standard.rate == rate) {
            return standard.code;
        }
    }
    return B0;
}

}  // namespace posix

}  // namespace platform
