// The line as the download needs it: a raw byte channel at 8 data bits, no parity and one stop
// bit, like a Windows port, which has no line discipline.
#pragma once

#include <termios.h>

#include <cstdint>

namespace platform {
namespace posix {

// Switches off every translation, echo, signal character and software flow control, and sets
// 8N1 with the modem lines ignored and the receiver on. The speed and hardware flow control
// (CRTSCTS) stay as they were.
void MakeRawEightNOne(termios* line);

// The termios speed code of a standard rate; B0 (hang up, never a rate to set) for any other.
speed_t StandardCodeFor(std::uint32_t rate);

// The output rate the port actually runs at, whichever way it was set: a standard rate through
// termios alone, so that it reads back where the kernel (or qemu-user) has no termios2.
bool ReadBaudRate(int port, std::uint32_t* rate);

}  // namespace posix
}  // namespace platform
