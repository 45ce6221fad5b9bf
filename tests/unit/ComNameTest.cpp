#include "platform/ComName.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

// The names Windows gives its ports in the registry and the Setup API, as telvorn-ports reads them.
TEST(ComName, TakesCom1To256InAnyCaseWithOrWithoutTheDevicePrefix) {
    const struct {
        const char* text;
        std::uint32_t number;  // 0: refused
    } cases[] = {
        {"COM1", 1},   {"com256", 256}, {"cOm33", 33}, {"\\\\.\\COM7", 7},
        {"COM257", 0}, {"COM0", 0},     {"COM01", 0},  {"COM", 0},
        {"COM1 ", 0},  {"COM-1", 0},    {"COM+1", 0},  {"\\\\.COM1", 0},
        {"LPT1", 0},   {"", 0},         {"CO", 0},     {"COM4294967297", 0},
    };
    for (const auto& c : cases) {
        std::uint32_t number = 0;
        EXPECT_EQ(platform::ParseComName(c.text, &number), c.number != 0) << c.text;
        EXPECT_EQ(number, c.number) << c.text;
    }
}

}  // namespace
