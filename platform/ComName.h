// COM numbers and their names: "\\.\COM33" as the port object writes it, and "COM33" as a user
// types it. The one place where such names and their numbers are written and read.
#pragma once

#include <cstdint>

namespace platform {

constexpr std::uint32_t kMaxPortNumber = 256;
// "\\.\COM256" is the longest name.
constexpr unsigned kDeviceNameSize = 11;

// The "\\.\COMn" name of port number (1 to 256) into name.
void FormatDeviceName(std::uint32_t number, char (&name)[kDeviceNameSize]);

// The number of a name exactly as FormatDeviceName writes it; false for any other text.
bool ParseDeviceName(const char* name, std::uint32_t* number);

// "COM33" in any case, or "\\.\COM33"; false when the text is no such name or its number is not
// 1 to 256.
bool ParseComName(const char* text, std::uint32_t* number);

// Whether the text has the form of such a name, whatever its number: "COM0" and "COM257" are no
// file names but COM numbers no port has.
bool IsComName(const char* text);

// One or more decimal digits and nothing else.
bool IsDecimal(const char* text);

// A decimal number as the system writes one (no sign, no leading zero but in "0" itself) that
// is at most limit.
bool ParseDecimal(const char* text, std::uint32_t limit, std::uint32_t* number);

}  // namespace platform
