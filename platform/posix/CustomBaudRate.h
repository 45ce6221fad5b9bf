// Baud rates that termios has no Bnnn constant for, through Linux's termios2 (BOTHER). Kept apart
// because its kernel header cannot share a source file with <termios.h>. Some kernels, and
// qemu-user, have no termios2: then both calls fail, and such a rate cannot be used.
#pragma once

#include <cstdint>

namespace platform {
namespace posix {

// Both directions at rate; false when the kernel refuses it or has no termios2.
bool SetCustomBaudRate(int port, std::uint32_t rate);

// The output rate as termios2 reports it; false without termios2.
bool ReadCustomBaudRate(int port, std::uint32_t* rate);

// A port's rates when either direction runs at a rate without a B constant: tcgetattr() and
// tcsetattr() carry only the "other rate" flag, so putting back their state alone would leave
// the port at whatever rate it had last.
struct OtherRates {
    bool isOther = false;
    std::uint32_t speedBits = 0;  // the c_cflag bits that say how each rate is given
    std::uint32_t input = 0;
    std::uint32_t output = 0;
};

// Fills in the rates when the port runs at another rate; isOther stays false at a standard rate
// and where the kernel has no termios2.
void SaveOtherRates(int port, OtherRates* rates);

// Puts saved other rates back, after the rest of the state; nothing to do when isOther is false.
// Async-signal-safe: ioctl() only.
bool PutBackOtherRates(int port, const OtherRates& rates);

}  // namespace posix
}  // namespace platform
