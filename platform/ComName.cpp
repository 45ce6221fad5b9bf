#include "platform/ComName.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace platform {

namespace {

const char kDevicePrefix[] = "\\\\.\\";
constexpr std::size_t kDevicePrefixLength = sizeof kDevicePrefix - 1;
const char kCom[] = "COM";
constexpr std::size_t kComLength = sizeof kCom - 1;
const char kDigits[] = "0123456789";

bool StartsWithCom(const char* text) {
    for (std::size_t i = 0; i < kComLength; ++i) {
        if (std::toupper(static_cast<unsigned char>(text[i])) != kCom[i]) {
            return false;
        }
    }
    return true;
}

// The digits after "COM" (and the device prefix, if any); null when the name is not "COM" and
// one or more digits.
const char* ComDigits(const char* text) {
    if (std::strncmp(text, kDevicePrefix, kDevicePrefixLength) == 0) {
        text += kDevicePrefixLength;
    }
    return StartsWithCom(text) && IsDecimal(text + kComLength) ? text + kComLength : nullptr;
}

bool ParsePortNumber(const char* digits, std::uint32_t* number) {
    return ParseDecimal(digits, kMaxPortNumber, number) && *number != 0;
}

}  // namespace

void FormatDeviceName(std::uint32_t number, char (&name)[kDeviceNameSize]) {
    std::snprintf(name, kDeviceNameSize, "%s%s%u", kDevicePrefix, kCom,
                  static_cast<unsigned>(number));
}

bool ParseDeviceName(const char* name, std::uint32_t* number) {
    return std::strncmp(name, kDevicePrefix, kDevicePrefixLength) == 0 &&
           std::strncmp(name + kDevicePrefixLength, kCom, kComLength) == 0 &&
           ParsePortNumber(name + kDevicePrefixLength + kComLength, number);
}

bool ParseComName(const char* text, std::uint32_t* number) {
    const char* digits = ComDigits(text);
    return digits != nullptr && ParsePortNumber(digits, number);
}

bool IsComName(const char* text) {
    return ComDigits(text) != nullptr;
}

bool IsDecimal(const char* text) {
    return text[0] != '\0' && text[std::strspn(text, kDigits)] == '\0';
}

bool ParseDecimal(const char* text, std::uint32_t limit, std::uint32_t* number) {
    if (!IsDecimal(text) || (text[0] == '0' && text[1] != '\0')) {
        return false;
    }
    std::uint32_t value = 0;
    for (const char* digit = text; *digit != '\0'; ++digit) {
        const std::uint32_t next = static_cast<std::uint32_t>(*digit - '0');
        if (next > limit || value > (limit - next) / 10) {
            return false;
        }
        value = value * 10 + next;
    }
    *number = value;
    return true;
}

}  // namespace platform
