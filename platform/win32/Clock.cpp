#include "platform/Clock.h"
#include "NativeHandle.h"

namespace platform {

void SleepMs(std::uint32_t milliseconds) {
    Sleep(milliseconds);
}

std::uint64_t NowMs() {
    return GetTickCount64();
}

}  // namespace platform
