// A pseudo-terminal whose slave stands in for a serial port: it is linked into the test device
// folder under the name of port 97-128 (ttyAMA0-31), and the test plays the device on the master.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

// A bound for waits that must end, reached only when the code under test hangs; never a duration.
constexpr std::uint32_t kWatchdogMs = 20000;

inline bool BecomesReadable(int descriptor, std::uint32_t waitMs = kWatchdogMs) {
    pollfd watch{descriptor, POLLIN, 0};
    return poll(&watch, 1, static_cast<int>(waitMs)) == 1 && (watch.revents & POLLIN) != 0;
}

class LinkedTerminal {
  public:
    explicit LinkedTerminal(std::uint32_t portNumber)
        : m_linkPath(LinkPathFor(portNumber)),
          m_deviceName("\\\\.\\COM" + std::to_string(portNumber)) {
        char slavePath[PATH_MAX];
        if (m_master >= 0 && grantpt(m_master) == 0 && unlockpt(m_master) == 0 &&
            ptsname_r(m_master, slavePath, sizeof slavePath) == 0 &&
            (mkdir(TELVORN_DEVICE_DIR, 0755) == 0 || errno == EEXIST)) {
            unlink(m_linkPath.c_str());  // left over from an interrupted run
            m_linked = symlink(slavePath, m_linkPath.c_str()) == 0;
            m_other = open(slavePath, O_RDWR | O_NOCTTY | O_CLOEXEC);
        }
        if (!m_linked || m_other < 0) {
            ADD_FAILURE() << "no pseudo-terminal linked as " << m_linkPath;
        }
    }
    ~LinkedTerminal() {
        if (m_linked) {
            unlink(m_linkPath.c_str());
        }
        close(m_other);
        CloseMaster();
    }

    int Master() const { return m_master; }
    const char* DeviceName() const { return m_deviceName.c_str(); }
    // Another open file description of the slave, as a second program would have.
    int Other() const { return m_other; }
    // What the master receives until count bytes have come, or no byte comes for waitMs.
    std::vector<std::uint8_t> Receive(std::size_t count, std::uint32_t waitMs = kWatchdogMs) const {
        std::vector<std::uint8_t> received(count);
        std::size_t taken = 0;
        for (ssize_t got = 1; got > 0 && taken < count && BecomesReadable(m_master, waitMs);) {
            got = read(m_master, received.data() + taken, count - taken);
            taken += static_cast<std::size_t>(std::max<ssize_t>(got, 0));
        }
        received.resize(taken);
        return received;
    }
    // Hangs the line up, as an unplugged device would.
    void CloseMaster() {
        close(m_master);
        m_master = -1;
    }
    static std::string LinkPathFor(std::uint32_t portNumber) {
        return std::string(TELVORN_DEVICE_DIR) + "/ttyAMA" + std::to_string(portNumber - 97);
    }

  private:
    int m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    int m_other = -1;
    bool m_linked = false;
    std::string m_linkPath;
    std::string m_deviceName;
};
