#include "Watchdog.h"

#include <poll.h>

#include <cstdio>
#include <cstdlib>

bool BecomesReadable(int descriptor) {
    pollfd watch{descriptor, POLLIN, 0};
    return poll(&watch, 1, static_cast<int>(kWatchdogMs)) == 1 && (watch.revents & POLLIN) != 0;
}

void AwaitEnd(platform::Handle thread) {
    if (platform::WaitForThread(thread, kWatchdogMs) != platform::WaitOutcome::kEnded) {
        std::fprintf(stderr, "A thread under test did not end: the operation it runs hangs.\n");
        std::abort();
    }
    platform::CloseThread(thread);
}
