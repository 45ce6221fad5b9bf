#include "serial/posix/PortTable.h"

#include <gtest/gtest.h>

#include <string>

using platform::posix::DevicePathFor;
using platform::posix::kDevicePathSize;

TEST(PortTable, MapsTheEdgesOfEachFamilyAndRefusesTheRest) {
    struct Mapping {
        const char* deviceName;
        const char* deviceFile;
    };
    const Mapping mappings[] = {
        {"\\\\.\\COM1", "ttyS0"},     {"\\\\.\\COM32", "ttyS31"},    {"\\\\.\\COM33", "ttyUSB0"},
        {"\\\\.\\COM64", "ttyUSB31"}, {"\\\\.\\COM65", "ttyACM0"},   {"\\\\.\\COM96", "ttyACM31"},
        {"\\\\.\\COM97", "ttyAMA0"},  {"\\\\.\\COM128", "ttyAMA31"},
    };
    for (const Mapping& mapping : mappings) {
        char path[kDevicePathSize];
        ASSERT_TRUE(DevicePathFor(mapping.deviceName, path)) << mapping.deviceName;
        EXPECT_EQ(std::string(TELVORN_DEVICE_DIR) + "/" + mapping.deviceFile, path);
    }
    const char* const refused[] = {
        "\\\\.\\COM129", "\\\\.\\COM256", "\\\\.\\COM0",  "\\\\.\\COM",
        "\\\\.\\COM01",  "\\\\.\\COM+1",  "\\\\.\\COM-1", "\\\\.\\COM1 ",
        "\\\\.\\COM1x",  "\\\\.\\com1",   "COM1",         "\\\\.\\COM4294967297",
    };
    for (const char* deviceName : refused) {
        char path[kDevicePathSize];
        EXPECT_FALSE(DevicePathFor(deviceName, path)) << deviceName;
    }
}
