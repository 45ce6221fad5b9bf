// Baud rates that termios has no Bnnn constant for, through Linux's termios2 (BOTHER). Kept apart
// because its kernel header cannot share a source file with <termios.h>.
#pragma once

#include <cstdint>

namespace platform {
namespace posix {

// Both directions at rate; false when the kernel refuses it.
bool SetCustomBaudRate(int port, std::uint32_t rate);

// The output rate the port actually runs at, whichever way it was set.
bool ReadBaudRate(int port, std::uint32_t* rate);

}  // namespace posix
}  // namespace platform
