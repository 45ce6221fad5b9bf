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
constexpr std::size_t kFamilyCount = sizeof kFamilies / sizeof kFamilies[0];
constexpr std::uint32_t kMappedPorts = kPortsPerFamily * kFamilyCount;

// Decimal digits with no sign and no leading zero, up to the end of the text.
bool ParseDecimal(const char* digits, std::uint32_t* number) {
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

// A device file's index within its family: "0", or a number as above.
bool ParseIndex(const char* digits, std::uint32_t* index) {
    if (std::strcmp(digits, "0") == 0) {
        *index = 0;
        return true;
    }
    return ParseDecimal(digits, index);
}

bool ParsePortNumber(const char* deviceName, std::uint32_t* number) {
    return std::strncmp(deviceName, kNamePrefix, kNamePrefixLength) == 0 &&
           ParseDecimal(deviceName + kNamePrefixLength, number);
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

const char* DeviceDirectory() {
    return TELVORN_DEVICE_DIR;
}

bool PortNumberFor(const char* fileName, std::uint32_t* number) {
    for (std::size_t family = 0; family < kFamilyCount; ++family) {
        const std::size_t prefixLength = std::strlen(kFamilies[family]);
        std::uint32_t index = 0;
        // "ttyS" also begins other families' names ("ttySAC0"): the rest must be the index.
        if (std::strncmp(fileName, kFamilies[family], prefixLength) == 0 &&
            ParseIndex(fileName + prefixLength, &index) && index < kPortsPerFamily) {
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
