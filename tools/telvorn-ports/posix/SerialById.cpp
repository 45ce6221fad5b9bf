#include "SerialById.h"

#include <dirent.h>
#include <sys/stat.h>

#include <climits>
#include <cstdio>

#include "DeviceIdentity.h"
#include "platform/posix/PortTable.h"

namespace {

constexpr std::size_t kPathSize = PATH_MAX;

}  // namespace

void AddStableName(const char* devicePath, PortFinding* finding) {
    struct stat device {};
    if (stat(devicePath, &device) != 0) {
        return;
    }
    char folder[kPathSize];
    std::snprintf(folder, kPathSize, "%s/serial/by-id", platform::posix::DeviceDirectory());
    DIR* links = opendir(folder);
    if (links == nullptr) {
        return;
    }
    while (const dirent* entry = readdir(links)) {
        struct stat target {};
        if (entry->d_name[0] != '.' && fstatat(dirfd(links), entry->d_name, &target, 0) == 0 &&
            IsSameDevice(device, target)) {
            char path[kPathSize];
            const int length = std::snprintf(path, kPathSize, "%s/%s", folder, entry->d_name);
            if (length > 0 && static_cast<std::size_t>(length) < kPathSize) {
                finding->AddFact("by-id", PortFinding::FactStyle::kBare, path);
            }
            break;
        }
    }
    closedir(links);
}
