#include "PortHolders.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "DeviceIdentity.h"

namespace {

constexpr std::size_t kPathSize = PATH_MAX;
constexpr std::size_t kLineSize = 256;
constexpr std::size_t kNameSize = 64;
// The fields of a /proc/locks line that name the holder and the file.
constexpr int kLockFields = 5;
// A port has one holder, or a few sharing the descriptor; more would not fit a line.
constexpr std::size_t kMostHolders = 4;

class Holders {
  public:
    Holders() = default;
    Holders(const Holders&) = delete;
    Holders& operator=(const Holders&) = delete;
    virtual ~Holders() = default;

    bool IsFull() const { return m_count == kMostHolders; }
    bool IsEmpty() const { return m_count == 0; }

    void Add(int pid) {
        if (pid <= 0 || pid == getpid() || IsFull()) {
            return;
        }
        for (std::size_t i = 0; i < m_count; ++i) {
            if (m_pids[i] == pid) {
                return;
            }
        }
        m_pids[m_count++] = pid;
    }

    void Describe(char (&text)[PortFinding::kTextSize]) const {
        std::size_t used = 0;
        text[0] = '\0';
        for (std::size_t i = 0; i < m_count && used < sizeof text; ++i) {
            char name[kNameSize];
            ProcessName(m_pids[i], name);
            const int length = std::snprintf(text + used, sizeof text - used, "%sPID %d (%s)",
                                             i == 0 ? "" : ", ", m_pids[i], name);
            used += length > 0 ? static_cast<std::size_t>(length) : 0;
        }
    }

  private:
    static void ProcessName(int pid, char (&name)[kNameSize]) {
        char path[kPathSize];
        std::snprintf(path, kPathSize, "/proc/%d/comm", pid);
        std::snprintf(name, kNameSize, "?");
        std::FILE* file = std::fopen(path, "r");
        if (file == nullptr) {
            return;
        }
        if (std::fgets(name, kNameSize, file) != nullptr) {
            name[std::strcspn(name, "\n")] = '\0';
        }
        std::fclose(file);
    }

    int m_pids[kMostHolders] = {};
    std::size_t m_count = 0;
};

bool HasOpen(const char* pid, const struct stat& device) {
    char folder[kPathSize];
    std::snprintf(folder, kPathSize, "/proc/%s/fd", pid);
    char descriptor[NAME_MAX + 1];
    return FindSameDevice(folder, device, descriptor, sizeof descriptor);
}

// /proc/locks lines read "1: FLOCK  ADVISORY  WRITE 1234 00:19:5 0 EOF": the pid, then the
// file system's major and minor number in hex and the inode. Waiting requests carry "->". The
// pid is the process that took the lock: one that has since ended, or closed the device after
// handing it to a child (a program that forks into the background), holds nothing.
void AddLockHolders(const struct stat& device, Holders* holders) {
    std::FILE* locks = std::fopen("/proc/locks", "r");
    if (locks == nullptr) {
        return;
    }
    char line[kLineSize];
    while (std::fgets(line, sizeof line, locks) != nullptr) {
        char kind[kNameSize] = {};
        int pid = 0;
        unsigned fsMajor = 0;
        unsigned fsMinor = 0;
        unsigned long inode = 0;
        const int fields = std::sscanf(line, "%*d: %63s %*s %*s %d %x:%x:%lu", kind, &pid, &fsMajor,
                                       &fsMinor, &inode);
        if (fields == kLockFields && std::strcmp(kind, "FLOCK") == 0 &&
            fsMajor == major(device.st_dev) && fsMinor == minor(device.st_dev) &&
            inode == device.st_ino) {
            char pidText[kNameSize];
            std::snprintf(pidText, sizeof pidText, "%d", pid);
            if (HasOpen(pidText, device)) {
                holders->Add(pid);
            }
        }
    }
    std::fclose(locks);
}

// The pseudo-terminals' slave devices: majors 136 to 143, 256 minors each.
constexpr unsigned kFirstPtySlaveMajor = 136;
constexpr unsigned kPtySlaveMajors = 8;
constexpr unsigned kMinorsPerMajor = 256;

bool IsPtySlave(const struct stat& device) {
    const unsigned deviceMajor = major(device.st_rdev);
    return S_ISCHR(device.st_mode) && deviceMajor >= kFirstPtySlaveMajor &&
           deviceMajor < kFirstPtySlaveMajor + kPtySlaveMajors;
}

bool FileSaysTtyIndex(int folder, const char* name, unsigned index) {
    const int file = openat(folder, name, O_RDONLY | O_CLOEXEC);
    std::FILE* info = file < 0 ? nullptr : fdopen(file, "r");
    if (info == nullptr) {
        if (file >= 0) {
            close(file);
        }
        return false;
    }
    char line[kLineSize];
    unsigned shown = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, info) != nullptr) {
        found = std::sscanf(line, "tty-index: %u", &shown) == 1 && shown == index;
    }
    std::fclose(info);
    return found;
}

// The program at a pseudo-terminal's other end (a simulator, a terminal emulator, a bridge)
// holds its master, where the device's bytes come from: it takes nothing from telvorn, even when
// it keeps the slave open as well. The kernel names the pseudo-terminal of each master it shows.
bool HoldsMasterOf(const char* pid, const struct stat& device) {
    if (!IsPtySlave(device)) {
        return false;
    }
    const unsigned index =
        (major(device.st_rdev) - kFirstPtySlaveMajor) * kMinorsPerMajor + minor(device.st_rdev);
    char folder[kPathSize];
    std::snprintf(folder, kPathSize, "/proc/%s/fdinfo", pid);
    DIR* entries = opendir(folder);
    if (entries == nullptr) {
        return false;
    }
    bool found = false;
    while (const dirent* entry = readdir(entries)) {
        if (entry->d_name[0] != '.' && FileSaysTtyIndex(dirfd(entries), entry->d_name, index)) {
            found = true;
            break;
        }
    }
    closedir(entries);
    return found;
}

void AddProcessesWithOpen(const struct stat& device, Holders* holders) {
    DIR* processes = opendir("/proc");
    if (processes == nullptr) {
        return;
    }
    while (const dirent* entry = readdir(processes)) {
        if (holders->IsFull()) {
            break;
        }
        if (std::isdigit(static_cast<unsigned char>(entry->d_name[0])) &&
            HasOpen(entry->d_name, device) && !HoldsMasterOf(entry->d_name, device)) {
            holders->Add(std::atoi(entry->d_name));
        }
    }
    closedir(processes);
}

void DescribeHoldersOf(const char* devicePath, bool openersToo,
                       char (&text)[PortFinding::kTextSize]) {
    text[0] = '\0';
    struct stat device {};
    if (stat(devicePath, &device) != 0) {
        return;
    }
    Holders holders;
    AddLockHolders(device, &holders);
    if (holders.IsEmpty() && openersToo) {
        AddProcessesWithOpen(device, &holders);
    }
    holders.Describe(text);
}

}  // namespace

void DescribeHolders(const char* devicePath, char (&text)[PortFinding::kTextSize]) {
    DescribeHoldersOf(devicePath, true, text);
}

void DescribeLockHolders(const char* devicePath, char (&text)[PortFinding::kTextSize]) {
    DescribeHoldersOf(devicePath, false, text);
}
