#include "DeviceIdentity.h"

#include <dirent.h>

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
