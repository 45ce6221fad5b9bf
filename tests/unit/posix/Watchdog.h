// Bounds for waits that must end. Reaching one means the code under test hangs; they are never
// checked as durations.
#pragma once

#include <poll.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "serial/Platform.h"

constexpr std::uint32_t kWatchdogMs = 20000;

// Whether the descriptor becomes readable within the bound.
inline bool BecomesReadable(int descriptor) {
    pollfd watch{descriptor, POLLIN, 0};
    return poll(&watch, 1, static_cast<int>(kWatchdogMs)) == 1 && (watch.revents & POLLIN) != 0;
}

// Waits for a thread that must end, then closes it. A thread still running at the bound would go
// on using the test's data, so the run ends there as a failure.
inline void AwaitEnd(platform::Handle thread) {
    if (platform::WaitForThread(thread, kWatchdogMs) != platform::WaitOutcome::kEnded) {
        std::fprintf(stderr, "A thread under test did not end: the operation it runs hangs.\n");
        std::abort();
    }
    platform::CloseThread(thread);
}
