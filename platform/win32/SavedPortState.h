// What a Windows port must put back when it is closed: its five COMMTIMEOUTS fields and its DCB,
// kept here without <windows.h> so that the portable code does not see it.
#pragma once

#include <cstdint>

namespace platform {

struct SavedPortState {
    std::uint32_t readIntervalTimeout;
    std::uint32_t readTotalTimeoutMultiplier;
    std::uint32_t readTotalTimeoutConstant;
    std::uint32_t writeTotalTimeoutMultiplier;
    std::uint32_t writeTotalTimeoutConstant;
    // A DCB as GetCommState reported it; its size is checked where it is read.
    static constexpr std::uint32_t kLineSettingsSize = 28;
    std::uint8_t lineSettings[kLineSettingsSize];
    bool hasLineSettings;  // false when the driver would not report them
};

}  // namespace platform
