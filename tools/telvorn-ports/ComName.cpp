#include "ComName.h"

#include <cctype>
#include <cstring>

#include "serial/SerialPort.h"

namespace {

const char kDevicePrefix[] = "\\\\.\\";
const char kCom[] = "com";
const char kDigits[] = "0123456789";
constexpr std::size_t kComLength = sizeof kCom - 1;
constexpr std::uint32_t kDecimalBase = 10;

bool StartsWithCom(const char* text) {
    for (std::size_t i = 0; i < kComLength; ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != kCom[i]) {
            return false;
        }
    }
    return true;
}

// The digits after "COM" (and the device prefix, if any); null when the name is not "COM" and
// one or more digits.
const char* ComDigits(const char* text) {
    if (std::strncmp(text, kDevicePrefix, sizeof kDevicePrefix - 1) == 0) {
        text += sizeof kDevicePrefix - 1;
    }
    if (!StartsWithCom(text)) {
        return nullptr;
    }
    const char* digits = text + kComLength;
    const bool allDigits = digits[0] != '\0' && digits[std::strspn(digits, kDigits)] == '\0';
    return allDigits ? digits : nullptr;
}

}  // namespace

bool IsComName(const char* text) {
    return ComDigits(text) != nullptr;
}

bool ParseComName(const char* text, std::uint32_t* number) {
    const char* digits = ComDigits(text);
    if (digits == nullptr || digits[0] == '0') {
        return false;
    }
    std::uint32_t value = 0;
    for (const char* digit = digits; *digit != '\0'; ++digit) {
        value = value * kDecimalBase + static_cast<std::uint32_t>(*digit - '0');
        if (value > SerialPort::kMaxPortNumber) {
            return false;
        }
    }
    *number = value;
    return true;
}
