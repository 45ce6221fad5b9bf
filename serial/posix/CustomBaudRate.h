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

}  // namespace posix
}  // namespace platform
