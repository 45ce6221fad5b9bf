// "COM33" as the user types it, in any case, or "\\.\COM33" as telvorn writes it.
#pragma once

#include <cstdint>

// False when the text is no such name or its number is not 1 to 256.
bool ParseComName(const char* text, std::uint32_t* number);

// Whether the text has the form of such a name, whatever its number: "COM0" and "COM257" are no
// file names but COM numbers no port has.
bool IsComName(const char* text);
