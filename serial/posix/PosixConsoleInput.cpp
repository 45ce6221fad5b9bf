// Keyboard input straight from the descriptor, bypassing stdio, so that the process can end while
// a thread is blocked here.
#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "serial/Platform.h"

namespace platform {

namespace {

constexpr int kWithoutLimit = -1;

// A shell or a parent may hand over a non-blocking standard input; nothing there yet is not the
// end of it.
bool WaitForInput() {
    pollfd input = {STDIN_FILENO, POLLIN, 0};
    int ready = 0;
    do {
        ready = poll(&input, 1, kWithoutLimit);
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

}  // namespace

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
