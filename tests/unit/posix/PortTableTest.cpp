#include "serial/posix/PortTable.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

using platform::posix::DevicePathFor;
using platform::posix::kDevicePathSize;
using platform::posix::PortNumberFor;

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
