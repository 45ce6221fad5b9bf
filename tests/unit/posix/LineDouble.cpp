#include "LineDouble.h"

#include <asm/termbits.h>
#include <dlfcn.h>
#include <poll.h>
#include <sys/ioctl.h>

#include <atomic>
#include <cstdarg>

namespace {

std::atomic<bool> holdWrites{false};
std::atomic<int> heldWaitMs{-1};
std::atomic<bool> keepReadable{false};
std::atomic<bool> keepQueued{false};
std::atomic<std::uint32_t> reportedRate{0};

template <typename Function>
Function Real(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

namespace line_double {

void HoldWrites(bool hold) {
    if (hold) {
        heldWaitMs = -1;
    }
    holdWrites = hold;
}
int HeldWaitMs() {
    return heldWaitMs;
}
void KeepReadable(bool keep) {
    keepReadable = keep;
}
void KeepOutputQueued(bool keep) {
    keepQueued = keep;
}
void ReportRate(std::uint32_t rate) {
    reportedRate = rate;
}

}  // namespace line_double

extern "C" int poll(pollfd* descriptors, nfds_t count, int timeoutMs) {
    using Poll = int (*)(pollfd*, nfds_t, int);
    static const Poll realPoll = Real<Poll>("poll");
    if (holdWrites && count == 1 && (descriptors[0].events & POLLOUT) != 0) {
        heldWaitMs = timeoutMs;
        descriptors[0].revents = 0;
        return 0;
    }
    // The port's wait: the port first, then the stop event.
    if (keepReadable && count == 2 && (descriptors[0].events & POLLIN) != 0) {
        descriptors[0].revents = POLLIN;
        descriptors[1].revents = 0;
        return 1;
    }
    return realPoll(descriptors, count, timeoutMs);
}

extern "C" int ioctl(int descriptor, unsigned long request, ...) noexcept {
    using Ioctl = int (*)(int, unsigned long, void*);
    static const Ioctl realIoctl = Real<Ioctl>("ioctl");
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    if (request == TIOCOUTQ && keepQueued) {
        *static_cast<int*>(argument) = 1;
        return 0;
    }
    const int result = realIoctl(descriptor, request, argument);
    if (request == TCGETS2 && result == 0 && reportedRate != 0) {
        static_cast<termios2*>(argument)->c_ospeed = reportedRate;
    }
    return result;
}
