#include "serial/posix/PortTable.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

using platform::posix::DevicePathFor;
using platform::posix::kDevicePathSize;
using platform::posix::PortNumberFor;

TEST(PortTable, MapsTheEdgesOfEachFamilyAndRefusesTheRest) {
    const char* const mappings[][2] = {
        {"1", "ttyS0"},    {"32", "ttyS31"},   {"33", "ttyUSB0"}, {"64", "ttyUSB31"},
        {"65", "ttyACM0"}, {"96", "ttyACM31"}, {"97", "ttyAMA0"}, {"128", "ttyAMA31"},
    };
    char path[kDevicePathSize];
    for (const auto& mapping : mappings) {
        const std::string deviceName = std::string("\\\\.\\COM") + mapping[0];
        ASSERT_TRUE(DevicePathFor(deviceName.c_str(), path)) << deviceName;
        EXPECT_EQ(std::string(TELVORN_DEVICE_DIR) + "/" + mapping[1], path);
    }
    const char* const refused[] = {"129", "256", "0",  "",   "01",
                                   "+1",  "-1",  "1 ", "1x", "4294967297"};
    for (const char* number : refused) {
        EXPECT_FALSE(DevicePathFor((std::string("\\\\.\\COM") + number).c_str(), path)) << number;
    }
    EXPECT_FALSE(DevicePathFor("\\\\.\\com1", path));
    EXPECT_FALSE(DevicePathFor("COM1", path));
}

TEST(PortTable, NamesTheNumberOfEachTableFileAndNoOther) {
    const struct {
        const char* fileName;
        std::uint32_t number;
    } named[] = {{"ttyS0", 1}, {"ttyS31", 32}, {"ttyUSB0", 33}, {"ttyACM3", 68}, {"ttyAMA31", 128}};
    for (const auto& file : named) {
        std::uint32_t number = 0;
        ASSERT_TRUE(PortNumberFor(file.fileName, &number)) << file.fileName;
        EXPECT_EQ(file.number, number) << file.fileName;
    }
    const char* const unnamed[] = {"ttyS32", "ttyUSB00", "ttyUSB", "ttySAC0", "ttyXRUSB0", "ttyS-1",
                                   "ttyS1x", "tty0",     "",       "rfcomm0", "ttyUSB1 "};
    for (const char* fileName : unnamed) {
        std::uint32_t number = 0;
        EXPECT_FALSE(PortNumberFor(fileName, &number)) << fileName;
    }
}
