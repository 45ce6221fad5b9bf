#include "platform/posix/CustomBaudRate.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace platform {
namespace posix {

namespace {

// The speed fields of c_cflag: output speed in CBAUD, input speed shifted by IBSHIFT.
constexpr tcflag_t kSpeedBits = CBAUD | (CBAUD << IBSHIFT);
constexpr tcflag_t kOtherSpeeds = BOTHER | (BOTHER << IBSHIFT);
constexpr tcflag_t kOtherInputSpeed = BOTHER << IBSHIFT;

bool IsOtherSpeed(tcflag_t flags) {
    return (flags & CBAUD) == BOTHER || (flags & (CBAUD << IBSHIFT)) == kOtherInputSpeed;
}

}  // namespace

bool SetCustomBaudRate(int port, std::uint32_t rate) {
    termios2 line{};
    if (ioctl(port, TCGETS2, &line) != 0) {
        return false;
    }
    line.c_cflag = (line.c_cflag & ~kSpeedBits) | kOtherSpeeds;
    line.c_ispeed = rate;
    line.c_ospeed = rate;
    return ioctl(port, TCSETS2, &line) == 0;
}

bool ReadCustomBaudRate(int port, std::uint32_t* rate) {
    termios2 line{};
    if (ioctl(port, TCGETS2, &line) != 0) {
        return false;
    }
    *rate = line.c_ospeed;
    return true;
}

void SaveOtherRates(int port, OtherRates* rates) {
    *rates = OtherRates{};
    termios2 line{};
    if (ioctl(port, TCGETS2, &line) != 0 || !IsOtherSpeed(line.c_cflag)) {
        return;
    }
    rates->isOther = true;
    rates->speedBits = line.c_cflag & kSpeedBits;
    rates->input = line.c_ispeed;
    rates->output = line.c_ospeed;
}

bool PutBackOtherRates(int port, const OtherRates& rates) {
    if (!rates.isOther) {
        return true;
    }
    termios2 line{};
    if (ioctl(port, TCGETS2, &line) != 0) {
        return false;
    }
    line.c_cflag = (line.c_cflag & ~kSpeedBits) | rates.speedBits;
    line.c_ispeed = rates.input;
    line.c_ospeed = rates.output;
    return ioctl(port, TCSETS2, &line) == 0;
}

}  // namespace posix
}  // namespace platform
