// The standard streams on POSIX. glibc's stdio writes line-buffered streams out at each line end,
// and a terminal's character set comes from the locale. Keyboard input is read straight from the
// descriptor, bypassing stdio, so that the process can end while a thread is blocked there. A
// process started with a standard stream closed (by a careless script or service) would hand the
// first free numbers to whatever it opens next, the serial port among them, and its console text
// would then go down the line into the device.
#include <fcntl.h>
#include <langinfo.h>
#include <poll.h>
#include <stdio.h>  // flockfile
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>

#include "platform/StandardStreams.h"
#include "platform/posix/DescriptorWait.h"

namespace platform {

namespace {

constexpr const char* kNullDevice = "/dev/null";

bool IsClosed(int descriptor) {
    return fcntl(descriptor, F_GETFD) < 0 && errno == EBADF;
}

// A shell or a parent may hand over a non-blocking standard input; nothing there yet is not the
// end of it.
bool WaitForInput() {
    pollfd input = {STDIN_FILENO, POLLIN, 0};
    return posix::PollWithoutLimit(&input, 1) > 0;
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

void BufferStandardOutput(char* buffer, std::size_t size) {
    std::setvbuf(stdout, buffer, _IOLBF, size);
}

void PrintOutput(TextEncoding, const char* format, std::va_list arguments) {
    std::vprintf(format, arguments);
}

void FlushOutput() {
    std::fflush(stdout);
}

bool WritesLinesAsTheyEnd() {
    return true;
}

void LockStandardOutputForGood() {
    flockfile(stdout);
}

// A terminal without UTF-8 (a serial console, cron, a container, a service: no LANG, or LANG=C)
// would show the code page 437 bytes as garbage, and a Latin-1 one as letters; plain ASCII
// draws the box everywhere. A file or a pipe keeps the bytes it has always had.
BoxStyle ConsoleBoxStyle() {
    // Until the environment's locale is taken, the character set is plain ASCII.
    std::setlocale(LC_CTYPE, "");
    if (std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0) {
        return BoxStyle::kUnicode;
    }
    return isatty(STDOUT_FILENO) ? BoxStyle::kPlain : BoxStyle::kCodePage437;
}

bool ReadInputChar(char* character) {
    for (;;) {
        const ssize_t count = read(STDIN_FILENO, character, 1);
        if (count >= 0) {
            return count == 1;
        }
        if (errno == EINTR) {
            continue;
        }
        if ((errno != EAGAIN && errno != EWOULDBLOCK) || !WaitForInput()) {
            return false;
        }
    }
}

}  // namespace platform
