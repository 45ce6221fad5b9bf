#include "tools/teq6-sim/StopSignals.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

StopSignals::~StopSignals() {
    if (m_fd >= 0) {
        close(m_fd);
    }
}

bool StopSignals::Install() {
    // A script that stops reading standard output must not kill the device mid-answer.
    signal(SIGPIPE, SIG_IGN);
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    if (sigprocmask(SIG_BLOCK, &stops, nullptr) != 0) {
        return false;
    }
    m_fd = signalfd(-1, &stops, SFD_NONBLOCK | SFD_CLOEXEC);
    return m_fd >= 0;
}

const char* StopSignals::Take() {
    struct signalfd_siginfo info {};
    if (read(m_fd, &info, sizeof(info)) != static_cast<ssize_t>(sizeof(info))) {
        return "a signal";
    }
    return info.ssi_signo == SIGINT ? "SIGINT" : "SIGTERM";
}
