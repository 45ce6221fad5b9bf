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

const char* SkipDevicePrefix(const char* text) {
    if (std::strncmp(text, kDevicePrefix, sizeof kDevicePrefix - 1) == 0) {
        return text + sizeof kDevicePrefix - 1;
    }
    return text;
}

}  // namespace

bool IsComName(const char* text) {
    text = SkipDevicePrefix(text);
    if (!StartsWithCom(text)) {
        return false;
    }
    const char* digits = text + kComLength;
    return digits[0] != '\0' && digits[std::strspn(digits, kDigits)] == '\0';
}

bool ParseComName(const char* text, std::uint32_t* number) {
    text = SkipDevicePrefix(text);
    if (!StartsWithCom(text)) {
        return false;
    }
    const char* digits = text + kComLength;
    if (digits[0] == '\0' || digits[0] == '0') {
        return false;
    }
    std::uint32_t value = 0;
    for (const char* digit = digits; *digit != '\0'; ++digit) {
        if (!std::isdigit(static_cast<unsigned char>(*digit))) {
            return false;
        }
        value = value * kDecimalBase + static_cast<std::uint32_t>(*digit - '0');
        if (value > SerialPort::kMaxPortNumber) {
            return false;
        }
    }
    *number = value;
    return true;
}
