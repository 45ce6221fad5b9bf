#include <time.h>

#include <cerrno>

#include "platform/Clock.h"

namespace platform {

namespace {

constexpr std::uint32_t kMsPerSecond = 1000;
constexpr long kNsPerMs = 1000000;

}  // namespace

// A signal does not cut the sleep short: nanosleep() resumes with the time that was left.
void SleepMs(std::uint32_t milliseconds) {
    timespec remaining{static_cast<time_t>(milliseconds / kMsPerSecond),
                       static_cast<long>(milliseconds % kMsPerSecond) * kNsPerMs};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

std::uint64_t NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * kMsPerSecond +
           static_cast<std::uint64_t>(now.tv_nsec / kNsPerMs);
}

}  // namespace platform
