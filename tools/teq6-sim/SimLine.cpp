#include "tools/teq6-sim/SimLine.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/posix/LineSettings.h"

namespace {

constexpr mode_t kDirectoryMode = 0755;

void Complain(const char* what, const char* path) {
    std::fprintf(stderr, "teq6-sim: %s %s: %s\n", what, path, std::strerror(errno));
}

bool SetNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

// A missing last directory is made; anything further up must exist.
void MakeParentDirectory(const char* path) {
    char parent[PATH_MAX];
    std::snprintf(parent, sizeof(parent), "%s", path);
    char* slash = std::strrchr(parent, '/');
    if (slash != nullptr && slash != parent) {
        *slash = '\0';
        mkdir(parent, kDirectoryMode);
    }
}

void CloseDescriptor(int* fd) {
    if (*fd >= 0) {
        close(*fd);
        *fd = -1;
    }
}

}  // namespace

SimLine::~SimLine() {
    Close();
}

bool SimLine::OpenPseudoTerminal(const char* linkPath) {
    m_fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_fd < 0) {
        Complain("cannot open", "a pseudo-terminal");
        return false;
    }
    if (grantpt(m_fd) != 0 || unlockpt(m_fd) != 0 || ptsname_r(m_fd, m_name, kPathSize) != 0 ||
        !SetNonBlocking(m_fd)) {
        Complain("cannot set up", "the pseudo-terminal");
        Close();
        return false;
    }
    if (!OpenSlave() || (linkPath != nullptr && !MakeLink(linkPath))) {
        Close();
        return false;
    }
    return true;
}

// The program sets its own line settings when it opens the port, but the simulator's bytes must
// pass untouched even before that, and after it has restored what it found: raw, no echo.
bool SimLine::OpenSlave() {
    m_slaveFd = open(m_name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    struct termios settings {};
    if (m_slaveFd < 0 || tcgetattr(m_slaveFd, &settings) != 0) {
        Complain("cannot open", m_name);
        return false;
    }
    cfmakeraw(&settings);
    if (tcsetattr(m_slaveFd, TCSANOW, &settings) != 0) {
        Complain("cannot set raw mode on", m_name);
        return false;
    }
    return true;
}

bool SimLine::LeavePeerState(bool minFour, bool softwareFlowControl) {
    constexpr cc_t kFour = 4;
    struct termios settings {};
    if (m_slaveFd < 0 || tcgetattr(m_slaveFd, &settings) != 0) {
        return false;
    }
    if (minFour) {
        settings.c_cc[VMIN] = kFour;
        settings.c_cc[VTIME] = 0;
    }
    if (softwareFlowControl) {
        settings.c_iflag |= IXON;
    }
    return tcsetattr(m_slaveFd, TCSANOW, &settings) == 0;
}

bool SimLine::HoldPeerOutput(bool hold) {
    return m_slaveFd >= 0 && tcflow(m_slaveFd, hold ? TCOOFF : TCOON) == 0;
}

bool SimLine::MakeLink(const char* linkPath) {
    struct stat existing {};
    if (lstat(linkPath, &existing) == 0 && !S_ISLNK(existing.st_mode)) {
        std::fprintf(stderr, "teq6-sim: %s exists and is not a symbolic link; left alone\n",
                     linkPath);
        return false;
    }
    // Made beside the old link and renamed over it, so the name never points nowhere.
    char temporary[kPathSize];
    std::snprintf(temporary, sizeof(temporary), "%s.teq6-sim-%ld", linkPath,
                  static_cast<long>(getpid()));
    MakeParentDirectory(linkPath);
    unlink(temporary);
    if (symlink(m_name, temporary) != 0 || rename(temporary, linkPath) != 0) {
        Complain("cannot make the link", linkPath);
        unlink(temporary);
        return false;
    }
    std::snprintf(m_link, sizeof(m_link), "%s", linkPath);
    return true;
}

// Only a link that still points at this line is removed: another simulator may have taken the
// name over since.
void SimLine::RemoveLink() {
    if (m_link[0] == '\0') {
        return;
    }
    char target[kPathSize];
    const ssize_t length = readlink(m_link, target, sizeof(target) - 1);
    if (length >= 0) {
        target[length] = '\0';
        if (std::strcmp(target, m_name) == 0) {
            unlink(m_link);
        }
    }
    m_link[0] = '\0';
}

bool SimLine::OpenDevice(const char* path, std::uint32_t baudRate) {
    const speed_t speed = platform::posix::StandardCodeFor(baudRate);
    if (speed == B0) {
        std::fprintf(stderr, "teq6-sim: %u is not a standard baud rate\n", baudRate);
        return false;
    }
    std::snprintf(m_name, sizeof(m_name), "%s", path);
    m_fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0 || tcgetattr(m_fd, &m_savedDevice) != 0) {
        Complain("cannot open", path);
        Close();
        return false;
    }
    m_restoreDevice = true;
    struct termios settings = m_savedDevice;
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cflag &= ~(CRTSCTS | CSTOPB | PARENB);
    if (cfsetispeed(&settings, speed) != 0 || cfsetospeed(&settings, speed) != 0 ||
        tcsetattr(m_fd, TCSANOW, &settings) != 0 || tcflush(m_fd, TCIOFLUSH) != 0) {
        Complain("cannot set raw 8N1 on", path);
        Close();
        return false;
    }
    return true;
}

void SimLine::Close() {
    RemoveLink();
    if (m_restoreDevice) {
        tcsetattr(m_fd, TCSANOW, &m_savedDevice);
        m_restoreDevice = false;
    }
    CloseDescriptor(&m_fd);
    CloseDescriptor(&m_slaveFd);
}

std::size_t SimLine::UnreadByPeer() const {
    int pending = 0;
    // On a pseudo-terminal what the device wrote waits in the slave's input queue; on a real
    // line, in the device's output queue.
    const bool known = m_slaveFd >= 0 ? ioctl(m_slaveFd, FIONREAD, &pending) == 0
                                      : ioctl(m_fd, TIOCOUTQ, &pending) == 0;
    return known && pending > 0 ? static_cast<std::size_t>(pending) : 0;
}
