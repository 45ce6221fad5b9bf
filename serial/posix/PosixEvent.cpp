// Manual-reset events as eventfd counters: signalling adds to the counter and nothing ever reads
// it back, so once signalled an event stays readable for every poll() that waits on it.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "serial/Platform.h"
#include "serial/posix/Descriptor.h"
#include "serial/posix/DescriptorWait.h"

namespace platform {

namespace {

constexpr unsigned kNotSignalled = 0;
// eventfd() takes its counter in 8-byte units.
constexpr std::uint64_t kSignal = 1;

}  // namespace

Handle NewEvent() {
    return posix::HandleOf(eventfd(kNotSignalled, EFD_CLOEXEC | EFD_NONBLOCK));
}

void SignalEvent(Handle event) {
    while (write(posix::DescriptorOf(event), &kSignal, sizeof kSignal) < 0 && errno == EINTR) {
    }
}

void WaitForEvent(Handle event) {
    pollfd watch{posix::DescriptorOf(event), POLLIN, 0};
    posix::PollWithoutLimit(&watch, 1);
}

bool IsSignalled(Handle event) {
    pollfd watch{posix::DescriptorOf(event), POLLIN, 0};
    return posix::PollWithin(&watch, 1, 0) > 0;
}

void CloseEvent(Handle event) {
    close(posix::DescriptorOf(event));
}

}  // namespace platform
