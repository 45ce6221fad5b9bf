#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "LinkedTerminal.h"
#include "platform/Clock.h"
#include "platform/Port.h"
#include "serial/EnumeratePorts.h"
#include "serial/SerialPort.h"

namespace {

using Numbers = std::vector<std::uint32_t>;

// Only the given range: tests running beside this one link ports of their own.
Numbers ListedPortsBetween(std::uint32_t first, std::uint32_t last) {
    Numbers listed;
    std::unique_ptr<SerialPortList> list(EnumeratePorts());
    for (std::uint32_t i = 0; list != nullptr && i < list->Count(); ++i) {
        const std::uint32_t number = list->At(i)->PortNumber();
        if (number >= first && number <= last) {
            listed.push_back(number);
        }
    }
    return listed;
}

// qemu-user (7.2) passes TIOCEXCL on but does not translate TIOCGEXCL, so neither the tests nor
// the program can see a terminal's exclusive mode there: -1.
int ExclusiveMode(int terminal) {
    int exclusive = 0;
    return ioctl(terminal, TIOCGEXCL, &exclusive) == 0 ? exclusive != 0 : -1;
}

// Another program holding the port (its own open file description, locked), and a device file
// that is no terminal, are not listed; the first scan left none of its probes holding on.
TEST(PortDiscovery, ListsOnlyFreeTerminals) {
    constexpr std::uint32_t kLocked = 100, kPlainFile = 102, kFree = 103;
    LinkedTerminal locked(kLocked), free(kFree);
    const std::string plainFile = LinkedTerminal::LinkPathFor(kPlainFile);
    ASSERT_EQ(0, close(open(plainFile.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644)));
    ASSERT_EQ(0, flock(locked.Other(), LOCK_EX | LOCK_NB));
    EXPECT_EQ((Numbers{kFree}), ListedPortsBetween(kLocked, kFree));
    flock(locked.Other(), LOCK_UN);
    EXPECT_EQ((Numbers{kLocked, kFree}), ListedPortsBetween(kLocked, kFree));
    unlink(plainFile.c_str());
}

// Programs starting together probe the same ports at the same moment: a probe in progress must
// neither hide the port from another program's scan nor make its download's open fail. An open
// port is exclusive until closed, while a probe leaves no trace; a terminal in another program's
// exclusive use is refused and left exclusive (only a privileged process can open one at all).
TEST(PortOwnership, ProbesHideNothingAndLeaveNoTraceWhileAnOpenPortIsExclusiveUntilClosed) {
    constexpr std::uint32_t kPort = 106;
    LinkedTerminal terminal(kPort);
    const int observer = terminal.Other();
    SerialPort port;
    ASSERT_TRUE(port.SetPortNumber(kPort));
    ASSERT_EQ(0, flock(observer, LOCK_SH | LOCK_NB));
    EXPECT_EQ((Numbers{kPort}), ListedPortsBetween(kPort, kPort));
    std::thread probeEnds([observer] {
        platform::SleepMs(20);
        flock(observer, LOCK_UN);
    });
    EXPECT_TRUE(port.Open());
    probeEnds.join();
    if (ExclusiveMode(observer) < 0) {
        GTEST_SKIP() << "TIOCGEXCL is not translated here (qemu-user)";
    }
    EXPECT_EQ(1, ExclusiveMode(observer));
    port.Close();
    EXPECT_EQ(0, ExclusiveMode(observer));
    const platform::Handle probe = platform::ProbePort(terminal.DeviceName());
    ASSERT_NE(platform::kNoHandle, probe);
    EXPECT_EQ(0, ExclusiveMode(observer));
    platform::ClosePort(probe);
    if (geteuid() == 0) {
        ASSERT_EQ(0, ioctl(observer, TIOCEXCL));
        EXPECT_EQ(platform::kNoHandle, platform::OpenPort(terminal.DeviceName()));
        EXPECT_EQ(1, ExclusiveMode(observer));
    }
}

}  // namespace
