// A process started with standard input, output or error closed (by a careless script or
// service) would hand the first free numbers to whatever it opens next, the serial port among
// them, and its console text would then go down the line into the device.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "serial/Platform.h"

namespace platform {

namespace {

constexpr const char* kNullDevice = "/dev/null";

bool IsClosed(int descriptor) {
    return fcntl(descriptor, F_GETFD) < 0 && errno == EBADF;
}

}  // namespace

void KeepStandardStreamsOpen() {
    // In increasing order, every lower number is open by the time one is found closed, so open()
    // fills exactly that one.
    for (int descriptor = STDIN_FILENO; descriptor <= STDERR_FILENO; ++descriptor) {
        if (IsClosed(descriptor) && open(kNullDevice, O_RDWR) < 0) {
            // Without the null device nothing can fill the gap; the program runs as before.
            return;
        }
    }
}

}  // namespace platform
