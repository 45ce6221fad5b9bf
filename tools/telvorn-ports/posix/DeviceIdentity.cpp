#include "DeviceIdentity.h"

#include <dirent.h>
#include <sys/sysmacros.h>

#include <cstdio>

bool FindSameDevice(const char* folder, const struct stat& device, char* name, std::size_t size) {
    DIR* entries = opendir(folder);
    if (entries == nullptr) {
        return false;
    }
    bool found = false;
    while (const dirent* entry = readdir(entries)) {
        struct stat target {};
        if (entry->d_name[0] != '.' && fstatat(dirfd(entries), entry->d_name, &target, 0) == 0 &&
            IsSameDevice(device, target)) {
            const int length = std::snprintf(name, size, "%s", entry->d_name);
            found = length >= 0 && static_cast<std::size_t>(length) < size;
            break;
        }
    }
    closedir(entries);
    return found;
}

// Lines such as "usbserial  /dev/ttyUSB  188 0-511 serial": a driver's major and its minor or
// range of minors.
bool IsTerminalDevice(dev_t device) {
    std::FILE* drivers = std::fopen("/proc/tty/drivers", "r");
    if (drivers == nullptr) {
        return true;
    }
    char line[256];
    bool terminal = false;
    while (!terminal && std::fgets(line, sizeof line, drivers) != nullptr) {
        unsigned driverMajor = 0;
        unsigned first = 0;
        unsigned last = 0;
        const int fields = std::sscanf(line, "%*s %*s %u %u-%u", &driverMajor, &first, &last);
        if (fields < 2) {
            continue;
        }
        last = fields == 3 ? last : first;
        terminal = major(device) == driverMajor && minor(device) >= first && minor(device) <= last;
    }
    std::fclose(drivers);
    return terminal;
}
