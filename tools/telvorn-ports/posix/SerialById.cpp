#include "SerialById.h"

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
    char link[NAME_MAX + 1];
    if (!FindSameDevice(folder, device, link, sizeof link)) {
        return;
    }
    char path[kPathSize];
    const int length = std::snprintf(path, kPathSize, "%s/%s", folder, link);
    if (length > 0 && static_cast<std::size_t>(length) < kPathSize) {
        finding->AddFact("by-id", PortFinding::FactStyle::kBare, path);
    }
}
