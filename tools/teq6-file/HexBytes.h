// Bytes as the tools print them: two upper-case hex digits each, separated by spaces.
#pragma once

#include <cstddef>
#include <cstdint>

void PrintHexBytes(const std::uint8_t* bytes, std::size_t length);
