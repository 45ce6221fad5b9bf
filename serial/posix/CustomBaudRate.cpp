#include "serial/posix/CustomBaudRate.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace platform {
namespace posix {

namespace {

// The speed fields of c_cflag: output speed in CBAUD, input speed shifted by IBSHIFT.
constexpr tcflag_t kSpeedBits = CBAUD | (CBAUD << IBSHIFT);
constexpr tcflag_t kOtherSpeeds = BOTHER | (BOTHER << IBSHIFT);

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

}  // namespace posix
}  // namespace platform
