// Whether two names lead to the same device: a port is reached through links (the test folder's
// ttyUSB0, /dev/serial/by-id, /proc/PID/fd), so names are compared by what they open.
#pragma once

#include <sys/stat.h>

#include <cstddef>

inline bool IsSameDevice(const struct stat& one, const struct stat& other) {
    if (S_ISCHR(one.st_mode) && S_ISCHR(other.st_mode)) {
        return one.st_rdev == other.st_rdev;
    }
    return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

// The first entry of folder (hidden ones aside) that leads to device, its name copied into name;
// false when none does, the folder cannot be read or the name does not fit.
bool FindSameDevice(const char* folder, const struct stat& device, char* name, std::size_t size);

// Whether a character device is a terminal of some kind, as /proc/tty/drivers lists the terminal
// drivers' numbers; true where that cannot be read, so that no port is ever hidden.
bool IsTerminalDevice(dev_t device);
