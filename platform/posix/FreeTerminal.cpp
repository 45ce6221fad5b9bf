#include "platform/posix/FreeTerminal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace platform {
namespace posix {

namespace {

// Non-blocking because every wait is a poll() that can also watch a stop signal.
constexpr int kOpenFlags = O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;

// Whether some holder has put the terminal in exclusive mode (TIOCEXCL). Only a privileged
// process gets this far on such a terminal; it must see the port as taken all the same.
bool IsExclusive(int descriptor) {
    int exclusive = 0;
    return ioctl(descriptor, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
}

int Refuse(int descriptor, TerminalRefusal refusal, int error, TerminalAttempt* attempt) {
    close(descriptor);
    attempt->refusal = refusal;
    attempt->error = error;
    return kNoTerminal;
}

bool IsSameDevice(int one, int other) {
    struct stat first {};
    struct stat second {};
    return fstat(one, &first) == 0 && fstat(other, &second) == 0 && S_ISCHR(first.st_mode) &&
           S_ISCHR(second.st_mode) && first.st_rdev == second.st_rdev;
}

}  // namespace

bool IsOwnTerminal(int descriptor) {
    for (int stream = STDIN_FILENO; stream <= STDERR_FILENO; ++stream) {
        if (IsSameDevice(descriptor, stream)) {
            return true;
        }
    }
    // With every stream redirected, the controlling terminal still sends Ctrl+C.
    const pid_t session = tcgetsid(descriptor);
    return session >= 0 && session == getsid(0);
}

int OpenFreeTerminal(const char* path, LockTaker takeLock, TerminalAttempt* attempt) {
    *attempt = TerminalAttempt{};
    const int descriptor = open(path, kOpenFlags);
    if (descriptor < 0) {
        attempt->refusal = TerminalRefusal::kOpenFailed;
        attempt->error = errno;
        return kNoTerminal;
    }
    if (!isatty(descriptor)) {
        return Refuse(descriptor, TerminalRefusal::kNotTerminal, errno, attempt);
    }
    if (IsExclusive(descriptor)) {
        return Refuse(descriptor, TerminalRefusal::kExclusive, EBUSY, attempt);
    }
    if (!takeLock(descriptor)) {
        return Refuse(descriptor, TerminalRefusal::kLockRefused, errno, attempt);
    }
    return descriptor;
}

bool TakeProbeLock(int descriptor) {
    return flock(descriptor, LOCK_SH | LOCK_NB) == 0;
}

}  // namespace posix
}  // namespace platform
