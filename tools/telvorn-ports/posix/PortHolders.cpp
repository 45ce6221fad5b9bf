#include "PortHolders.h"

#include <dirent.h>
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
            HasOpen(entry->d_name, device)) {
            holders->Add(std::atoi(entry->d_name));
        }
    }
    closedir(processes);
}

}  // namespace

void DescribeHolders(const char* devicePath, char (&text)[PortFinding::kTextSize]) {
    text[0] = '\0';
    struct stat device {};
    if (stat(devicePath, &device) != 0) {
        return;
    }
    Holders holders;
    AddLockHolders(device, &holders);
    if (holders.IsEmpty()) {
        AddProcessesWithOpen(device, &holders);
    }
    holders.Describe(text);
}
