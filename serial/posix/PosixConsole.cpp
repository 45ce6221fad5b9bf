#include <unistd.h>

#include <cerrno>

#include "serial/Platform.h"

namespace platform {

// Straight from the descriptor, bypassing stdio, so that the process can end while a thread is
// blocked here.
bool ReadInputChar(char* character) {
    ssize_t count = 0;
    do {
        count = read(STDIN_FILENO, character, 1);
    } while (count < 0 && errno == EINTR);
    return count == 1;
}

}  // namespace platform
