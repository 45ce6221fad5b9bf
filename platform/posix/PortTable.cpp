#include "platform/posix/PortTable.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/ComName.h"

// The installed program looks in /dev; tests and demos build with a folder of their own.
#ifndef TELVORN_DEVICE_DIR
#define TELVORN_DEVICE_DIR "/dev"
#endif

namespace platform {
namespace posix {

namespace {

// In port-number order, kPortsPerFamily numbers each.
const char* const kFamilies[] = {"ttyS", "ttyUSB", "ttyACM", "ttyAMA"};
constexpr std::uint32_t kPortsPerFamily = 32;
constexpr std::size_t kFamilyCount = sizeof kFamilies / sizeof kFamilies[0];
constexpr std::uint32_t kMappedPorts = kPortsPerFamily * kFamilyCount;

}  // namespace

bool DevicePathFor(const char* deviceName, char (&path)[kDevicePathSize]) {
    std::uint32_t number = 0;
    if (!ParseDeviceName(deviceName, &number) || number > kMappedPorts) {
        return false;
    }
    const std::uint32_t index = number - 1;
    const int length = std::snprintf(path, kDevicePathSize, "%s/%s%u", TELVORN_DEVICE_DIR,
                                     kFamilies[index / kPortsPerFamily],
                                     static_cast<unsigned>(index % kPortsPerFamily));
    return length > 0 && static_cast<std::size_t>(length) < kDevicePathSize;
}

const char* DeviceDirectory() {
    return TELVORN_DEVICE_DIR;
}

bool PortNumberFor(const char* fileName, std::uint32_t* number) {
    for (std::size_t family = 0; family < kFamilyCount; ++family) {
        const std::size_t prefixLength = std::strlen(kFamilies[family]);
        std::uint32_t index = 0;
        // "ttyS" also begins other families' names ("ttySAC0"): the rest must be the index.
        if (std::strncmp(fileName, kFamilies[family], prefixLength) == 0 &&
            ParseDecimal(fileName + prefixLength, kPortsPerFamily - 1, &index)) {
            *number = static_cast<std::uint32_t>(family) * kPortsPerFamily + index + 1;
            return true;
        }
    }
    return false;
}

const char* FamilyAt(std::size_t index) {
    return index < kFamilyCount ? kFamilies[index] : nullptr;
}

}  // namespace posix
}  // namespace platform
