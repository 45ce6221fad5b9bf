// Which device file a "\\.\COMn" name stands for. The numbers are fixed so that a port keeps its
// number from run to run: COM1-32 are ttyS0-31 (on-board UARTs), COM33-64 ttyUSB0-31 (USB-serial
// adapters), COM65-96 ttyACM0-31 (USB CDC-ACM devices) and COM97-128 ttyAMA0-31 (ARM boards).
// COM129 to COM256 stand for no device.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>

namespace platform {
namespace posix {

constexpr std::size_t kDevicePathSize = PATH_MAX;

// False when the name is not exactly "\\.\COMn" as the port object writes it (decimal, no sign,
// no leading zero) or when n stands for no device.
bool DevicePathFor(const char* deviceName, char (&path)[kDevicePathSize]);

// The folder that holds the device files: /dev in the installed program.
const char* DeviceDirectory();

// The COM number of a device file named as in the table ("ttyUSB0" is 33); false for any other
// name, "ttyUSB32" and "ttyUSB00" included.
bool PortNumberFor(const char* fileName, std::uint32_t* number);

// The families of the table in COM-number order ("ttyS", "ttyUSB", ...); null past the last.
const char* FamilyAt(std::size_t index);

}  // namespace posix
}  // namespace platform
