#include "LineDouble.h"

#include <asm/termbits.h>
#include <dlfcn.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdarg>

using namespace line_double;

// Long enough for the exchange's reader to take a byte that is there.
constexpr useconds_t kReaderTakesItUs = 200000;

template <typename Function>
static Function* Real(Function*, const char* name) {
    return reinterpret_cast<Function*>(dlsym(RTLD_NEXT, name));
}

extern "C" int poll(pollfd* descriptors, nfds_t count, int timeoutMs) {
    static const auto realPoll = Real(poll, "poll");
    if (holdWrites && count == 1 && (descriptors[0].events & POLLOUT) != 0) {
        const int device = answerWhileHeld.exchange(-1);
        if (device >= 0 && write(device, "\x06", 1) == 1) {
            usleep(kReaderTakesItUs);
        }
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
    static const auto realIoctl = Real(ioctl, "ioctl");
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    if (request == TIOCOUTQ && keepQueued) {
        *static_cast<int*>(argument) = 1;
        return 0;
    }
    // Told without asking the kernel, which may have no TCGETS2 (qemu-user).
    if (request == TCGETS2 && reportedRate != 0) {
        *static_cast<termios2*>(argument) = termios2{};
        static_cast<termios2*>(argument)->c_ospeed = reportedRate;
        return 0;
    }
    return realIoctl(descriptor, request, argument);
}

// The port reads a rate with a standard code through tcgetattr(), and any other through TCGETS2:
// a rate to report makes the line seem to run at another rate, which TCGETS2 then tells.
extern "C" int tcgetattr(int descriptor, termios* line) {
    static const auto realTcGetAttr = Real(tcgetattr, "tcgetattr");
    const int result = realTcGetAttr(descriptor, line);
    if (result == 0 && reportedRate != 0) {
        line->c_cflag = (line->c_cflag & ~CBAUD) | BOTHER;
    }
    return result;
}

extern "C" int tcflush(int descriptor, int queue) {
    static const auto realTcFlush = Real(tcflush, "tcflush");
    outputFlushed = outputFlushed || queue == TCOFLUSH;
    return realTcFlush(descriptor, queue);
}
