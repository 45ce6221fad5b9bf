// "COM33" as the user types it, in any case, or "\\.\COM33" as telvorn writes it.
#pragma once

#include <cstdint>

// False when the text is no such name or its number is not 1 to 256.
bool ParseComName(const char* text, std::uint32_t* number);
