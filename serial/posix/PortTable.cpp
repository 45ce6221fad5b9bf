#include "serial/posix/PortTable.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

// The installed program looks in /dev; tests and demos build with a folder of their own.
#ifndef TELVORN_DEVICE_DIR
#define TELVORN_DEVICE_DIR "/dev"
#endif

namespace platform {
namespace posix {

namespace {

const char kNamePrefix[] = "\\\\.\\COM";
constexpr std::size_t kNamePrefixLength = sizeof kNamePrefix - 1;
const char kDecimalDigits[] = "0123456789";
constexpr std::uint32_t kDecimalBase = 10;
// A mapped number has at most three digits; longer ones are refused before they could overflow.
constexpr std::size_t kMostDigits = 3;

// In port-number order, kPortsPerFamily numbers each.
const char* const kFamilies[] = {"ttyS", "ttyUSB", "ttyACM", "ttyAMA"};
constexpr std::uint32_t kPortsPerFamily = 32;
constexpr std::uint32_t kMappedPorts = kPortsPerFamily * (sizeof kFamilies / sizeof kFamilies[0]);

bool ParsePortNumber(const char* deviceName, std::uint32_t* number) {
    if (std::strncmp(deviceName, kNamePrefix, kNamePrefixLength) != 0) {
        return false;
    }
    const char* digits = deviceName + kNamePrefixLength;
    const std::size_t digitCount = std::strspn(digits, kDecimalDigits);
    if (digitCount == 0 || digitCount > kMostDigits || digits[digitCount] != '\0' ||
        digits[0] == '0') {
        return false;
    }
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < digitCount; ++i) {
        value = value * kDecimalBase + static_cast<std::uint32_t>(digits[i] - '0');
    }
    *number = value;
    return true;
}

}  // namespace

bool DevicePathFor(const char* deviceName, char (&path)[kDevicePathSize]) {
    std::uint32_t number = 0;
    if (!ParsePortNumber(deviceName, &number) || number > kMappedPorts) {
        return false;
    }
    const std::uint32_t index = number - 1;
    const int length = std::snprintf(path, kDevicePathSize, "%s/%s%u", TELVORN_DEVICE_DIR,
                                     kFamilies[index / kPortsPerFamily],
                                     static_cast<unsigned>(index % kPortsPerFamily));
    return length > 0 && static_cast<std::size_t>(length) < kDevicePathSize;
}

}  // namespace posix
}  // namespace platform
