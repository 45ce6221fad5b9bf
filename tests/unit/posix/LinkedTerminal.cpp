#include "LinkedTerminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace {

const char* const kFamilyName = "ttyAMA";
constexpr mode_t kFolderMode = 0755;

}  // namespace

LinkedTerminal::LinkedTerminal(std::uint32_t portNumber)
    : m_linkPath(LinkPathFor(portNumber)), m_deviceName("\\\\.\\COM" + std::to_string(portNumber)) {
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        return;
    }
    char slavePath[PATH_MAX];
    if (ptsname_r(m_master, slavePath, sizeof slavePath) != 0 || !MakeDeviceFolder()) {
        return;
    }
    m_slavePath = slavePath;
    unlink(m_linkPath.c_str());  // left over from an interrupted run
    m_linked = symlink(m_slavePath.c_str(), m_linkPath.c_str()) == 0;
}

LinkedTerminal::~LinkedTerminal() {
    if (m_linked) {
        unlink(m_linkPath.c_str());
    }
    CloseMaster();
}

int LinkedTerminal::OpenSlave() const {
    return open(m_slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
}

void LinkedTerminal::CloseMaster() {
    if (m_master >= 0) {
        close(m_master);
        m_master = -1;
    }
}

std::string LinkedTerminal::LinkPathFor(std::uint32_t portNumber) {
    return std::string(TELVORN_DEVICE_DIR) + "/" + kFamilyName +
           std::to_string(portNumber - kFirstPort);
}

bool LinkedTerminal::MakeDeviceFolder() {
    return mkdir(TELVORN_DEVICE_DIR, kFolderMode) == 0 || errno == EEXIST;
}
