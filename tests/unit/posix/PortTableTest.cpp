#include "platform/posix/PortTable.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

using platform::posix::DevicePathFor;
using platform::posix::kDevicePathSize;
using platform::posix::PortNumberFor;

// The edges of each family, both ways: the COM name to the device file and the file to the number.
TEST(PortTable, MapsTheEdgesOfEachFamilyBothWaysAndRefusesTheRest) {
    const struct {
        std::uint32_t number;
        const char* fileName;
    } mappings[] = {
        {1, "ttyS0"},    {32, "ttyS31"},   {33, "ttyUSB0"}, {64, "ttyUSB31"},
        {65, "ttyACM0"}, {96, "ttyACM31"}, {97, "ttyAMA0"}, {128, "ttyAMA31"},
    };
    char path[kDevicePathSize];
    std::uint32_t number = 0;  // each row's number differs from the one before
    for (const auto& mapping : mappings) {
        const std::string deviceName = "\\\\.\\COM" + std::to_string(mapping.number);
        ASSERT_TRUE(DevicePathFor(deviceName.c_str(), path)) << deviceName;
        EXPECT_EQ(std::string(TELVORN_DEVICE_DIR) + "/" + mapping.fileName, path);
        ASSERT_TRUE(PortNumberFor(mapping.fileName, &number)) << mapping.fileName;
        EXPECT_EQ(mapping.number, number) << mapping.fileName;
    }
    // Only the program's own names of COM1-256 come here; past the last family there is no file.
    EXPECT_FALSE(DevicePathFor("\\\\.\\COM129", path));
    for (const char* fileName : {"ttyS32", "ttyUSB00", "ttyUSB", "ttySAC0", "ttyXRUSB0", "ttyS-1",
                                 "ttyS1x", "tty0", "", "rfcomm0", "ttyUSB1 "}) {
        EXPECT_FALSE(PortNumberFor(fileName, &number)) << fileName;
    }
}
