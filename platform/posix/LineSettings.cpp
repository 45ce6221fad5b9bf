#include "platform/posix/LineSettings.h"

#include <cstdint>

#include "platform/Port.h"
#include "platform/posix/CustomBaudRate.h"
#include "platform/posix/Descriptor.h"

namespace platform {
namespace posix {

namespace {

// Every field of the terminal state, and what the download needs of it. Another program may
// have left any of them set (a terminal program, a getty, a previous run killed half-way), so
// each one the exchange depends on is set here, not assumed.
//
// c_iflag
//   IGNBRK BRKINT PARMRK  cleared: a break or a framing error arrives as a 0 byte, which is
//   IGNPAR INPCK ISTRIP   neither printed nor a reply, instead of a signal, a 3-byte marker or
//                         a stripped eighth bit; with no parity there is nothing to check.
//   INLCR IGNCR ICRNL     cleared: the device's bytes arrive untouched (an ACK is 0x06 only).
//   IUCLC                 cleared.
//   IXON IXOFF IXANY      cleared: a Linux terminal default, not a setting of the line; with
//                         it a 0x13 among the device's text would stop our writes.
//   IMAXBEL               cleared: no bell may be written to the device on a full queue.
//   IUTF8                 kept: it only changes erasing in canonical mode, which is off.
// c_oflag
//   OPOST                 cleared; every other output flag (ONLCR, OCRNL, the delays, ...)
//                         acts only under OPOST.
// c_cflag
//   CSIZE PARENB CSTOPB   set to 8 data bits, no parity, one stop bit.
//   CMSPAR                cleared with it: it only has a meaning with PARENB.
//   CREAD                 set: the receiver must take bytes.
//   CLOCAL                set: a device that does not drive the modem lines must not look
//                         like a hang-up.
//   CRTSCTS               kept: hardware flow control belongs to the cable and the device,
//                         as the Windows port keeps fOutxCtsFlow.
//   HUPCL                 kept: whether closing drops DTR is the owner's choice.
//   CBAUD                 set through the rate (cfsetospeed, or termios2).
//   CIBAUD                cleared: the input runs at the output's rate, whatever split rate
//                         another program (or a custom rate) left; cfsetispeed cannot clear it.
// c_lflag
//   ICANON                cleared: bytes are delivered as they come, not by lines.
//   ECHO ECHONL           cleared: nothing received is sent back to the device; ECHOE ECHOK
//   ECHOCTL ECHOPRT ECHOKE  ECHOCTL ECHOPRT ECHOKE only shape an echo, and are cleared too.
//   ISIG                  cleared: no byte from the device raises a signal.
//   IEXTEN                cleared: no literal-next or discard character.
//   FLUSHO                cleared: while set, output is thrown away.
//   PENDIN XCASE EXTPROC  cleared: canonical-mode and pseudo-terminal packet details.
//   TOSTOP                cleared: a port that is also the terminal of a shell must not stop
//                         a background run when it writes.
//   NOFLSH                kept: it only matters with ISIG.
// c_cc
//   VMIN 1, VTIME 0       set: one byte is enough to wake the reader (a terminal program may
//                         leave VMIN=4, and then a one-byte ACK is never reported).
//   the rest              cannot matter: VINTR VQUIT VSUSP act only with ISIG, VSTART VSTOP
//                         only with IXON/IXOFF, VERASE VKILL VEOF VEOL VEOL2 VWERASE VREPRINT
//                         only with ICANON, VLNEXT VDISCARD only with IEXTEN.
// c_line                  the line discipline is not part of what tcsetattr() sets; a port
//                         whose discipline another program changed (PPP, SLIP) is theirs.
constexpr tcflag_t kInputProcessing =
    IGNBRK | BRKINT | PARMRK | IGNPAR | INPCK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | IMAXBEL;
constexpr tcflag_t kSoftwareFlowControl = IXON | IXOFF | IXANY;
constexpr tcflag_t kOutputProcessing = OPOST;
constexpr tcflag_t kLocalProcessing = ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL | ECHOPRT | ECHOKE |
                                      ICANON | ISIG | IEXTEN | FLUSHO | PENDIN | XCASE | EXTPROC |
                                      TOSTOP;
constexpr tcflag_t kFrameBits = CSIZE | PARENB | CSTOPB | CMSPAR;
constexpr tcflag_t kSeparateInputRate = CIBAUD;
constexpr tcflag_t kEightNOne = CS8;
constexpr tcflag_t kLocalReceiver = CLOCAL | CREAD;
constexpr cc_t kWakeOnEveryByte = 1;
constexpr cc_t kNoInterByteTimer = 0;

}  // namespace

void MakeRawEightNOne(termios* line) {
    line->c_iflag &= ~(kInputProcessing | kSoftwareFlowControl);
    line->c_oflag &= ~kOutputProcessing;
    line->c_lflag &= ~kLocalProcessing;
    line->c_cflag =
        (line->c_cflag & ~(kFrameBits | kSeparateInputRate)) | kEightNOne | kLocalReceiver;
    line->c_cc[VMIN] = kWakeOnEveryByte;
    line->c_cc[VTIME] = kNoInterByteTimer;
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

bool WithinTolerance(std::uint32_t actual, std::uint32_t wanted) {
    const std::uint64_t difference = actual > wanted ? actual - wanted : wanted - actual;
    return difference * 100 <= wanted * kRateTolerancePercent;
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

bool ReadBaudRate(int port, std::uint32_t* rate) {
    termios line{};
    if (tcgetattr(port, &line) != 0) {
        return false;
    }
    const speed_t code = cfgetospeed(&line);
    for (const StandardRate& standard : kStandardRates) {
        if (standard.code == code) {
            *rate = standard.rate;
            return true;
        }
    }
    // No standard code: the rate was set through termios2, and only termios2 can tell it.
    return ReadCustomBaudRate(port, rate);
}

}  // namespace posix

}  // namespace platform
