#include "LinkedPty.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace {

constexpr std::uint32_t kFirstPort = 97;  // ttyAMA0
const char* const kFamilyName = "/ttyAMA";
constexpr mode_t kFolderMode = 0755;

}  // namespace

LinkedPty::LinkedPty(std::uint32_t portNumber)
    : m_linkPath(TELVORN_DEVICE_DIR + (kFamilyName + std::to_string(portNumber - kFirstPort))) {
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char slavePath[PATH_MAX];
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0 ||
        ptsname_r(m_master, slavePath, sizeof slavePath) != 0 ||
        (mkdir(TELVORN_DEVICE_DIR, kFolderMode) != 0 && errno != EEXIST)) {
        return;
    }
    unlink(m_linkPath.c_str());  // left over from an interrupted run
    m_linked = symlink(slavePath, m_linkPath.c_str()) == 0;
}

LinkedPty::~LinkedPty() {
    if (m_linked) {
        unlink(m_linkPath.c_str());
    }
    if (m_master >= 0) {
        close(m_master);
    }
}
