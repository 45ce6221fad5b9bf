// The ports of telvorn's table in COM order, then the serial devices outside it.
#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "DeviceIdentity.h"
#include "PortProbe.h"
#include "PortSurvey.h"
#include "SerialById.h"
#include "SerialFamilies.h"
#include "SysfsDescription.h"
#include "platform/ComName.h"
#include "platform/posix/PortTable.h"

namespace survey {

namespace {

using platform::posix::DeviceDirectory;
using platform::posix::kDevicePathSize;

constexpr std::size_t kNumberTextSize = 24;
const char kNoSuchNumber[] =
    "no device has this number on Linux (COM1-32 are ttyS0-31, COM33-64 ttyUSB0-31, COM65-96 "
    "ttyACM0-31, COM97-128 ttyAMA0-31)";

const char* FileNameOf(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash == nullptr ? path : slash + 1;
}

// The device file of COM number; false when the table has none for it.
bool TablePath(std::uint32_t number, char (&path)[kDevicePathSize]) {
    char deviceName[platform::kDeviceNameSize];
    platform::FormatDeviceName(number, deviceName);
    return platform::posix::DevicePathFor(deviceName, path);
}

bool Exists(const char* path) {
    struct stat entry {};
    return lstat(path, &entry) == 0;
}

// The names that only stand for another terminal (the program's own, the console) or make a new
// pseudo-terminal on each open: no port of their own, and their holders would be every process
// with a terminal.
constexpr unsigned kTerminalAliasMajor = 5;
const char* const kTerminalAliases[] = {"the controlling terminal", "the system console",
                                        "the pseudo-terminal multiplexer"};

// What stands at a port's place when it is no device: nullptr for a character device.
const char* KindOfNonDevice(const struct stat& entry) {
    if (S_ISCHR(entry.st_mode)) {
        const unsigned alias = minor(entry.st_rdev);
        const bool aliases = major(entry.st_rdev) == kTerminalAliasMajor &&
                             alias < sizeof kTerminalAliases / sizeof kTerminalAliases[0];
        if (aliases) {
            return kTerminalAliases[alias];
        }
        return IsTerminalDevice(entry.st_rdev) ? nullptr : "a device that is no terminal";
    }
    if (S_ISREG(entry.st_mode)) {
        return "a regular file";
    }
    if (S_ISDIR(entry.st_mode)) {
        return "a directory";
    }
    if (S_ISFIFO(entry.st_mode)) {
        return "a FIFO";
    }
    if (S_ISSOCK(entry.st_mode)) {
        return "a socket";
    }
    return "a block device";
}

// The table's number of the device file a dangling link names, when the link leads into the
// device folder; kNoNumber otherwise.
std::uint32_t NumberOfMissing(const char* link, const char* target) {
    char joined[kDevicePathSize];
    const int folderLength = target[0] == '/' ? 0 : static_cast<int>(FileNameOf(link) - link);
    const int length = std::snprintf(joined, kDevicePathSize, "%.*s%s", folderLength, link, target);
    if (length < 0 || static_cast<std::size_t>(length) >= kDevicePathSize) {
        return PortFinding::kNoNumber;
    }
    char* slash = std::strrchr(joined, '/');
    if (slash == nullptr) {
        return PortFinding::kNoNumber;
    }
    *slash = '\0';
    char folder[kDevicePathSize];
    char devices[kDevicePathSize];
    std::uint32_t number = PortFinding::kNoNumber;
    if (realpath(joined[0] == '\0' ? "/" : joined, folder) == nullptr ||
        realpath(DeviceDirectory(), devices) == nullptr || std::strcmp(folder, devices) != 0 ||
        !platform::posix::PortNumberFor(slash + 1, &number)) {
        return PortFinding::kNoNumber;
    }
    return number;
}

// A link whose target has gone (an unplugged adapter leaves its by-id link behind for a moment).
void DescribeDanglingLink(const char* path, PortFinding* finding) {
    char target[kDevicePathSize];
    const ssize_t length = readlink(path, target, sizeof target - 1);
    if (length <= 0) {
        finding->AppendToState("cannot be reached");
        return;
    }
    target[length] = '\0';
    finding->AppendToState("leads to ");
    finding->AppendToState(target);
    const std::uint32_t number = NumberOfMissing(path, target);
    if (number != PortFinding::kNoNumber) {
        char text[kNumberTextSize];
        std::snprintf(text, sizeof text, " (COM%u)", static_cast<unsigned>(number));
        finding->AppendToState(text);
    }
    finding->AppendToState(", which does not exist");
}

// Says what stands at path when it is no device; false for a device. A lookup's answer names the
// path first; a listing's line shows it already.
bool DescribeNonDevice(const char* path, bool namePath, PortFinding* finding) {
    struct stat entry {};
    const bool dangling = stat(path, &entry) != 0;
    const char* kind = dangling ? nullptr : KindOfNonDevice(entry);
    if (!dangling && kind == nullptr) {
        return false;
    }
    finding->SetState(namePath ? path : "");
    if (namePath) {
        finding->AppendToState(dangling ? " " : " is ");
    }
    if (dangling) {
        DescribeDanglingLink(path, finding);
    } else {
        finding->AppendToState(kind);
        finding->AppendToState(", not a serial port");
    }
    return true;
}

void Describe(const char* path, const char* fileName, std::uint32_t number, PortFinding* finding) {
    finding->SetNumber(number);
    finding->SetDevice(path);
    if (DescribeNonDevice(path, false, finding)) {
        return;
    }
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

using PortVisitor = void (*)(const char* path, const char* fileName, std::uint32_t number,
                             PortPrinter* printer);

// The ports of the table in COM order, then the serial devices outside it.
void VisitPorts(PortVisitor visit, PortPrinter* printer) {
    for (std::uint32_t number = 1; number <= platform::kMaxPortNumber; ++number) {
        char path[kDevicePathSize];
        if (TablePath(number, path) && Exists(path) && !HasNoHardware(FileNameOf(path))) {
            visit(path, FileNameOf(path), number, printer);
        }
    }
    dirent** entries = nullptr;
    const int count = scandir(DeviceDirectory(), &entries, IsUnmappedSerialDevice, versionsort);
    for (int i = 0; i < count; ++i) {
        char path[kDevicePathSize];
        std::snprintf(path, kDevicePathSize, "%s/%s", DeviceDirectory(), entries[i]->d_name);
        visit(path, entries[i]->d_name, PortFinding::kNoNumber, printer);
        std::free(entries[i]);
    }
    std::free(entries);
}

void FitColumn(const char* path, const char* /*fileName*/, std::uint32_t /*number*/,
               PortPrinter* printer) {
    printer->FitDevice(path);
}

void PrintPort(const char* path, const char* fileName, std::uint32_t number, PortPrinter* printer) {
    PortFinding finding;
    Describe(path, fileName, number, &finding);
    printer->PrintLine(finding);
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
    for (number = 1; number <= platform::kMaxPortNumber; ++number) {
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
        finding->SetState(kNoSuchNumber);
        return Lookup::kMissing;
    }
    if (!Exists(path)) {
        return Missing(path, finding);
    }
    if (DescribeNonDevice(path, true, finding)) {
        return Lookup::kMissing;
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
    if (DescribeNonDevice(path, true, finding)) {
        return Lookup::kMissing;
    }
    char sysfsName[kDevicePathSize];
    SysfsName(path, sysfsName);
    Describe(path, sysfsName, PortFinding::kNoNumber, finding);
    return Lookup::kFound;
}

}  // namespace

// A first pass finds the widest device path, so that the columns line up whatever the folder.
void ListPorts(PortPrinter* printer) {
    VisitPorts(FitColumn, printer);
    VisitPorts(PrintPort, printer);
}

Lookup FindPort(const char* name, PortFinding* finding) {
    std::uint32_t number = 0;
    if (platform::ParseComName(name, &number)) {
        return FindByNumber(number, finding);
    }
    if (platform::IsComName(name)) {
        finding->SetState(kNoSuchNumber);
        return Lookup::kMissing;
    }
    return FindByPath(name, finding);
}

}  // namespace survey
