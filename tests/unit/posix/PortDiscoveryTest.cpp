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
#include "serial/EnumeratePorts.h"
#include "serial/Platform.h"
#include "serial/SerialPort.h"

namespace {

constexpr mode_t kFileMode = 0644;

// Only the given range: tests running beside this one link ports of their own.
std::vector<std::uint32_t> ListedPortsBetween(std::uint32_t first, std::uint32_t last) {
    std::vector<std::uint32_t> listed;
    std::unique_ptr<SerialPortList> list(EnumeratePorts());
    if (list == nullptr) {
        return listed;
    }
    for (std::uint32_t i = 0; i < list->Count(); ++i) {
        const std::uint32_t number = list->At(i)->PortNumber();
        if (number >= first && number <= last) {
            listed.push_back(number);
        }
    }
    return listed;
}

bool MakeDanglingLink(const std::string& path) {
    unlink(path.c_str());
    return symlink((path + ".gone").c_str(), path.c_str()) == 0;
}

bool MakePlainFile(const std::string& path) {
    const int file = open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, kFileMode);
    return file >= 0 && close(file) == 0;
}

bool IsExclusive(int terminal) {
    int exclusive = 0;
    return ioctl(terminal, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
}

}  // namespace

TEST(PortDiscovery, ListsOnlyFreeTerminalsInIncreasingOrder) {
    constexpr std::uint32_t kLocked = 100;
    constexpr std::uint32_t kDangling = 101;
    constexpr std::uint32_t kPlainFile = 102;
    constexpr std::uint32_t kLower = 103;
    constexpr std::uint32_t kHigher = 105;
    // Made higher first: the order of the list must come from the numbers.
    LinkedTerminal higher(kHigher);
    LinkedTerminal lower(kLower);
    LinkedTerminal locked(kLocked);
    ASSERT_TRUE(higher.IsReady() && lower.IsReady() && locked.IsReady());
    const std::string danglingPath = LinkedTerminal::LinkPathFor(kDangling);
    const std::string plainPath = LinkedTerminal::LinkPathFor(kPlainFile);
    ASSERT_TRUE(MakeDanglingLink(danglingPath));
    ASSERT_TRUE(MakePlainFile(plainPath));
    // Another program holding the port: its own open file description, locked.
    const int holder = locked.OpenSlave();
    ASSERT_GE(holder, 0);
    ASSERT_EQ(0, flock(holder, LOCK_EX | LOCK_NB));

    EXPECT_EQ((std::vector<std::uint32_t>{kLower, kHigher}), ListedPortsBetween(kLocked, kHigher));

    // Released, the port is found again; and the first scan left none of its probes holding on.
    close(holder);
    EXPECT_EQ((std::vector<std::uint32_t>{kLocked, kLower, kHigher}),
              ListedPortsBetween(kLocked, kHigher));
    unlink(danglingPath.c_str());
    unlink(plainPath.c_str());
}

TEST(PortOwnership, OpenPortIsExclusiveUntilClosedWhileProbingLeavesNoTrace) {
    constexpr std::uint32_t kPort = 106;
    LinkedTerminal terminal(kPort);
    ASSERT_TRUE(terminal.IsReady());
    const int observer = terminal.OpenSlave();
    ASSERT_GE(observer, 0);

    const platform::Handle probe = platform::ProbePort(terminal.DeviceName());
    ASSERT_NE(platform::kNoHandle, probe);
    EXPECT_FALSE(IsExclusive(observer));
    platform::ClosePort(probe);

    SerialPort port;
    ASSERT_TRUE(port.SetPortNumber(kPort));
    ASSERT_TRUE(port.Open());
    EXPECT_TRUE(IsExclusive(observer));
    EXPECT_EQ(platform::kNoHandle, platform::ProbePort(terminal.DeviceName()));

    port.Close();
    EXPECT_FALSE(IsExclusive(observer));
    const platform::Handle reopened = platform::ProbePort(terminal.DeviceName());
    EXPECT_NE(platform::kNoHandle, reopened);
    platform::ClosePort(reopened);
    close(observer);
}

// Only a privileged process can open such a terminal at all; it must still leave it alone.
TEST(PortOwnership, TerminalInAnotherProgramsExclusiveUseIsRefusedAndKeptExclusive) {
    constexpr std::uint32_t kPort = 107;
    LinkedTerminal terminal(kPort);
    ASSERT_TRUE(terminal.IsReady());
    const int otherProgram = terminal.OpenSlave();
    ASSERT_GE(otherProgram, 0);
    ASSERT_EQ(0, ioctl(otherProgram, TIOCEXCL));

    EXPECT_EQ(platform::kNoHandle, platform::ProbePort(terminal.DeviceName()));
    EXPECT_EQ(platform::kNoHandle, platform::OpenPort(terminal.DeviceName()));
    EXPECT_TRUE(IsExclusive(otherProgram));

    ioctl(otherProgram, TIOCNXCL);
    close(otherProgram);
}

// Programs starting together probe the same ports at the same moment: a probe in progress must
// neither hide the port from another program's scan nor make its download's open fail.
TEST(PortOwnership, AnotherProgramsProbeHidesNothing) {
    constexpr std::uint32_t kPort = 108;
    LinkedTerminal terminal(kPort);
    ASSERT_TRUE(terminal.IsReady());
    const int probing = terminal.OpenSlave();
    ASSERT_GE(probing, 0);
    ASSERT_EQ(0, flock(probing, LOCK_SH | LOCK_NB));

    EXPECT_EQ((std::vector<std::uint32_t>{kPort}), ListedPortsBetween(kPort, kPort));

    std::thread probeEnds([probing] {
        platform::SleepMs(20);
        close(probing);
    });
    SerialPort port;
    ASSERT_TRUE(port.SetPortNumber(kPort));
    EXPECT_TRUE(port.Open());
    probeEnds.join();
}
