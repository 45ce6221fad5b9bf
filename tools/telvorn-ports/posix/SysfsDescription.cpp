#include "SysfsDescription.h"

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// The installed tool reads /sys; the test build points at a folder of fake USB descriptions.
#ifndef TELVORN_SYSFS_DIR
#define TELVORN_SYSFS_DIR "/sys"
#endif

namespace {

constexpr std::size_t kPathSize = PATH_MAX;
constexpr std::size_t kValueSize = PortFinding::kTextSize;
// From the tty's device up to the USB device: ttyUSB sits below the interface, ttyACM is it.
constexpr int kMostLevelsToUsbDevice = 3;
// serial_core's "type" of a slot without a UART (PORT_UNKNOWN).
const char kNoUart[] = "0";
// From Linux 6.5 the serial core puts a controller and a port device of its own bus between the
// hardware and the tty; their drivers ("ctrl", "port") say nothing about the hardware.
const char kSerialCoreBus[] = "serial-base";
constexpr int kSerialCoreLevels = 2;

// False when the path would not fit.
bool JoinPath(const char* directory, const char* name, char (&path)[kPathSize]) {
    const int length = std::snprintf(path, kPathSize, "%s/%s", directory, name);
    return length > 0 && static_cast<std::size_t>(length) < kPathSize;
}

// The tty's own folder in sysfs.
bool TtyFolder(const char* fileName, char (&path)[kPathSize]) {
    return JoinPath(TELVORN_SYSFS_DIR "/class/tty", fileName, path);
}

// The first line of a sysfs attribute without its line end; false when it cannot be read.
bool ReadAttribute(const char* directory, const char* name, char (&value)[kValueSize]) {
    char path[kPathSize];
    if (!JoinPath(directory, name, path)) {
        return false;
    }
    std::FILE* file = std::fopen(path, "r");
    if (file == nullptr) {
        return false;
    }
    const bool read = std::fgets(value, kValueSize, file) != nullptr;
    std::fclose(file);
    if (!read) {
        return false;
    }
    value[std::strcspn(value, "\n")] = '\0';
    return true;
}

// The last part of where a link in a device's folder leads ("driver", "subsystem").
bool LinkName(const char* devicePath, const char* name, char (&target)[kPathSize],
              const char** last) {
    char link[kPathSize];
    if (!JoinPath(devicePath, name, link)) {
        return false;
    }
    const ssize_t length = readlink(link, target, sizeof target - 1);
    if (length <= 0) {
        return false;
    }
    target[length] = '\0';
    const char* slash = std::strrchr(target, '/');
    *last = slash ? slash + 1 : target;
    return true;
}

void AddDriver(const char* devicePath, PortFinding* finding) {
    char target[kPathSize];
    const char* driver = nullptr;
    if (LinkName(devicePath, "driver", target, &driver)) {
        finding->AddFact("driver", PortFinding::FactStyle::kBare, driver);
    }
}

// Climbs from the serial core's own devices to the hardware the port belongs to.
void SkipSerialCore(char (&devicePath)[kPathSize]) {
    for (int level = 0; level < kSerialCoreLevels; ++level) {
        char target[kPathSize];
        const char* bus = nullptr;
        char* slash = std::strrchr(devicePath, '/');
        if (!LinkName(devicePath, "subsystem", target, &bus) ||
            std::strcmp(bus, kSerialCoreBus) != 0 || slash == nullptr || slash == devicePath) {
            return;
        }
        *slash = '\0';
    }
}

void AddUsbFacts(const char* usbDevice, PortFinding* finding) {
    char vendor[kValueSize];
    char product[kValueSize];
    if (!ReadAttribute(usbDevice, "idVendor", vendor) ||
        !ReadAttribute(usbDevice, "idProduct", product)) {
        return;
    }
    char ids[kValueSize];
    std::snprintf(ids, kValueSize, "%.8s:%.8s", vendor, product);
    finding->AddFact("USB", PortFinding::FactStyle::kLabelled, ids);
    const struct {
        const char* attribute;
        const char* label;
        PortFinding::FactStyle style;
    } kTexts[] = {
        {"manufacturer", "manufacturer", PortFinding::FactStyle::kBare},
        {"product", "product", PortFinding::FactStyle::kBare},
        {"serial", "serial", PortFinding::FactStyle::kLabelled},
    };
    for (const auto& text : kTexts) {
        char value[kValueSize];
        if (ReadAttribute(usbDevice, text.attribute, value)) {
            finding->AddFact(text.label, text.style, value);
        }
    }
}

// Walks up from the tty's device to the USB device that carries it, if there is one.
void FindUsbDevice(const char* devicePath, PortFinding* finding) {
    char directory[kPathSize];
    std::snprintf(directory, kPathSize, "%s", devicePath);
    for (int level = 0; level < kMostLevelsToUsbDevice; ++level) {
        char probe[kPathSize];
        if (JoinPath(directory, "idVendor", probe) && access(probe, F_OK) == 0) {
            AddUsbFacts(directory, finding);
            return;
        }
        char* slash = std::strrchr(directory, '/');
        if (slash == nullptr || slash == directory) {
            return;
        }
        *slash = '\0';
    }
}

}  // namespace

void AddSysfsFacts(const char* fileName, PortFinding* finding) {
    char folder[kPathSize];
    char link[kPathSize];
    char devicePath[kPathSize];
    if (!TtyFolder(fileName, folder) || !JoinPath(folder, "device", link) ||
        realpath(link, devicePath) == nullptr) {
        return;
    }
    SkipSerialCore(devicePath);
    AddDriver(devicePath, finding);
    FindUsbDevice(devicePath, finding);
}

bool HasNoHardware(const char* fileName) {
    char folder[kPathSize];
    char type[kValueSize];
    return TtyFolder(fileName, folder) && ReadAttribute(folder, "type", type) &&
           std::strcmp(type, kNoUart) == 0;
}
