#include "serial/posix/DescriptorWait.h"

#include <time.h>

#include <algorithm>
#include <cerrno>
#include <climits>

namespace platform {
namespace posix {

namespace {

constexpr int kForever = -1;
constexpr std::int64_t kMsPerSecond = 1000;
constexpr std::int64_t kNsPerMs = 1000000;

}  // namespace

std::int64_t MonotonicNowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * kMsPerSecond + now.tv_nsec / kNsPerMs;
}

int PollWithoutLimit(pollfd* descriptors, nfds_t count) {
    int ready = 0;
    do {
        ready = poll(descriptors, count, kForever);
    } while (ready < 0 && errno == EINTR);
    return ready;
}

int PollWithin(pollfd* descriptors, nfds_t count, std::uint32_t timeoutMs) {
    const std::int64_t deadline = MonotonicNowMs() + timeoutMs;
    for (;;) {
        const std::int64_t remaining = std::max<std::int64_t>(deadline - MonotonicNowMs(), 0);
        // poll() takes an int: a longer time-out is waited out in slices.
        const int slice = static_cast<int>(std::min<std::int64_t>(remaining, INT_MAX));
        const int ready = poll(descriptors, count, slice);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready == 0 && remaining > slice) {
            continue;
        }
        return ready;
    }
}

}  // namespace posix
}  // namespace platform
