#include "platform/posix/DescriptorWait.h"

#include <algorithm>
#include <cerrno>
#include <climits>

#include "platform/Clock.h"

namespace platform {
namespace posix {

namespace {

constexpr int kForever = -1;

}  // namespace

int PollWithoutLimit(pollfd* descriptors, nfds_t count) {
    int ready = 0;
    do {
        ready = poll(descriptors, count, kForever);
    } while (ready < 0 && errno == EINTR);
    return ready;
}

int PollWithin(pollfd* descriptors, nfds_t count, std::uint32_t timeoutMs) {
    const Deadline deadline(timeoutMs);
    for (;;) {
        const std::uint32_t remaining = deadline.RemainingMs();
        // poll() takes an int: a longer time-out is waited out in slices.
        const int slice = static_cast<int>(std::min<std::uint32_t>(remaining, INT_MAX));
        const int ready = poll(descriptors, count, slice);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready == 0 && remaining > static_cast<std::uint32_t>(slice)) {
            continue;
        }
        return ready;
    }
}

}  // namespace posix
}  // namespace platform
