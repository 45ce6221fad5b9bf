// The ports of telvorn's table in COM order, then the serial devices outside it.
#include <dirent.h>
#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ComName.h"
#include "DeviceIdentity.h"
#include "PortProbe.h"
#include "PortSurvey.h"
#include "SerialById.h"
#include "SerialFamilies.h"
#include "SysfsDescription.h"
#include "serial/SerialPort.h"
#include "serial/posix/PortTable.h"

namespace survey {

namespace {

using platform::posix::DeviceDirectory;
using platform::posix::kDevicePathSize;

const char* FileNameOf(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash == nullptr ? path : slash + 1;
}

// The device file of COM number; false when the table has none for it.
bool TablePath(std::uint32_t number, char (&path)[kDevicePathSize]) {
    char deviceName[SerialPort::kDeviceNameSize];
    SerialPort::FormatDeviceName(number, deviceName);
    return platform::posix::DevicePathFor(deviceName, path);
}

bool Exists(const char* path) {
    struct stat entry {};
    return lstat(path, &entry) == 0;
}

void Describe(const char* path, const char* fileName, std::uint32_t number, PortFinding* finding) {
    finding->SetNumber(number);
    finding->SetDevice(path);
    if (number == PortFinding::kNoNumber) {
        finding->SetState("not reachable by telvorn (no COM number)");
    } else {
        ProbeDevice(path, finding);
    }
    AddSysfsFacts(fileName, finding);
    AddStableName(path, finding);
}

int IsUnmappedSerialDevice(const dirent* entry) {
    std::uint32_t number = 0;
    return IsSerialDeviceName(entry->d_name) &&
           !platform::posix::PortNumberFor(entry->d_name, &number) && !HasNoHardware(entry->d_name);
}

void ListUnmapped(PortPrinter* printer) {
    dirent** entries = nullptr;
    const int count = scandir(DeviceDirectory(), &entries, IsUnmappedSerialDevice, versionsort);
    for (int i = 0; i < count; ++i) {
        char path[kDevicePathSize];
        std::snprintf(path, kDevicePathSize, "%s/%s", DeviceDirectory(), entries[i]->d_name);
        PortFinding finding;
        Describe(path, entries[i]->d_name, PortFinding::kNoNumber, &finding);
        printer->PrintLine(finding);
        std::free(entries[i]);
    }
    std::free(entries);
}

// Whether the path names a file of the device folder itself ("ttyUSB0", "/dev/ttyUSB0").
bool IsInDeviceFolder(const char* path) {
    const char* fileName = FileNameOf(path);
    if (fileName == path) {
        return true;
    }
    const std::size_t folderLength = static_cast<std::size_t>(fileName - path) - 1;
    return std::strlen(DeviceDirectory()) == folderLength &&
           std::strncmp(path, DeviceDirectory(), folderLength) == 0;
}

// The table's number for the device a path leads to: by its name in the device folder, else by
// what it opens: the path may be a
// by-id link or, in the test folder, a link to a pseudo-terminal.
std::uint32_t NumberOf(const char* path) {
    std::uint32_t number = PortFinding::kNoNumber;
    if (IsInDeviceFolder(path) && platform::posix::PortNumberFor(FileNameOf(path), &number)) {
        return number;
    }
    struct stat device {};
    if (stat(path, &device) != 0) {
        return PortFinding::kNoNumber;
    }
    for (number = 1; number <= SerialPort::kMaxPortNumber; ++number) {
        char tablePath[kDevicePathSize];
        struct stat entry {};
        if (TablePath(number, tablePath) && stat(tablePath, &entry) == 0 &&
            IsSameDevice(device, entry)) {
            return number;
        }
    }
    return PortFinding::kNoNumber;
}

Lookup Missing(const char* path, PortFinding* finding) {
    finding->SetState(path);
    finding->AppendToState(" does not exist");
    return Lookup::kMissing;
}

Lookup FindByNumber(std::uint32_t number, PortFinding* finding) {
    char path[kDevicePathSize];
    if (!TablePath(number, path)) {
        finding->SetState(
            "no device has this number on Linux (COM1-32 are ttyS0-31, COM33-64 ttyUSB0-31, "
            "COM65-96 ttyACM0-31, COM97-128 ttyAMA0-31)");
        return Lookup::kMissing;
    }
    if (!Exists(path)) {
        return Missing(path, finding);
    }
    Describe(path, FileNameOf(path), number, finding);
    return Lookup::kFound;
}

// Sysfs knows a device by its own name; a link such as a by-id name is followed to it.
void SysfsName(const char* path, char (&name)[kDevicePathSize]) {
    char target[kDevicePathSize];
    const char* fileName = FileNameOf(path);
    if (!IsSerialDeviceName(fileName) && realpath(path, target) != nullptr) {
        fileName = FileNameOf(target);
    }
    std::snprintf(name, kDevicePathSize, "%s", fileName);
}

Lookup FindByPath(const char* name, PortFinding* finding) {
    char path[kDevicePathSize];
    if (FileNameOf(name) == name) {
        std::snprintf(path, kDevicePathSize, "%s/%s", DeviceDirectory(), name);
    } else {
        std::snprintf(path, kDevicePathSize, "%s", name);
    }
    if (!Exists(path)) {
        return Missing(path, finding);
    }
    const std::uint32_t number = NumberOf(path);
    if (number != PortFinding::kNoNumber) {
        return FindByNumber(number, finding);
    }
    struct stat device {};
    if (stat(path, &device) == 0 && !S_ISCHR(device.st_mode)) {
        finding->SetState("not a device");
        return Lookup::kMissing;
    }
    char sysfsName[kDevicePathSize];
    SysfsName(path, sysfsName);
    Describe(path, sysfsName, PortFinding::kNoNumber, finding);
    return Lookup::kFound;
}

}  // namespace

void ListPorts(PortPrinter* printer) {
    for (std::uint32_t number = 1; number <= SerialPort::kMaxPortNumber; ++number) {
        char path[kDevicePathSize];
        if (!TablePath(number, path) || !Exists(path) || HasNoHardware(FileNameOf(path))) {
            continue;
        }
        PortFinding finding;
        Describe(path, FileNameOf(path), number, &finding);
        printer->PrintLine(finding);
    }
    ListUnmapped(printer);
}

Lookup FindPort(const char* name, PortFinding* finding) {
    std::uint32_t number = 0;
    if (ParseComName(name, &number)) {
        return FindByNumber(number, finding);
    }
    return FindByPath(name, finding);
}

}  // namespace survey
