#include "HexBytes.h"

#include <cstdio>

void PrintHexBytes(const std::uint8_t* bytes, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        std::printf(i == 0 ? "%02X" : " %02X", bytes[i]);
    }
}
