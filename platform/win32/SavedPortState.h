// What a Windows port must put back when it is closed: its five COMMTIMEOUTS fields, kept here
// without <windows.h> so that the portable code does not see it.
#pragma once

#include <cstdint>

namespace platform {

struct SavedPortState {
    std::uint32_t readIntervalTimeout;
    std::uint32_t readTotalTimeoutMultiplier;
    std::uint32_t readTotalTimeoutConstant;
    std::uint32_t writeTotalTimeoutMultiplier;
    std::uint32_t writeTotalTimeoutConstant;
};

}  // namespace platform
