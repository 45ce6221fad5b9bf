// A port's lifetime and saved state on POSIX: the device file behind its COM number, held with
// flock() so that a second instance of this program sees it as taken, and put back as found.
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/Clock.h"
#include "platform/Port.h"
#include "platform/posix/CustomBaudRate.h"
#include "platform/posix/Descriptor.h"
#include "platform/posix/FreeTerminal.h"
#include "platform/posix/HeldPorts.h"
#include "platform/posix/PortTable.h"

namespace platform {

namespace {

// A port object waits out other programs' start-up probes, which hold each port for a moment,
// rather than report the port as taken; a real holder keeps it past these attempts.
constexpr int kExclusiveLockAttempts = 20;
constexpr std::uint32_t kExclusiveLockRetryMs = 5;

bool TakeExclusiveLock(int descriptor) {
    for (int attempt = 1; attempt <= kExclusiveLockAttempts; ++attempt) {
        if (flock(descriptor, LOCK_EX | LOCK_NB) == 0) {
            return true;
        }
        if (errno != EWOULDBLOCK) {
            return false;
        }
        SleepMs(kExclusiveLockRetryMs);
    }
    return false;
}

// The descriptor of the free terminal behind the name, locked for us, or posix::kNoTerminal.
int OpenFreeTerminal(const char* deviceName, posix::LockTaker takeLock) {
    char path[posix::kDevicePathSize];
    if (!posix::DevicePathFor(deviceName, path)) {
        return posix::kNoTerminal;
    }
    posix::TerminalAttempt attempt;
    return posix::OpenFreeTerminal(path, takeLock, &attempt);
}

}  // namespace

Handle OpenPort(const char* deviceName) {
    const int descriptor = OpenFreeTerminal(deviceName, TakeExclusiveLock);
    if (descriptor == posix::kNoTerminal) {
        return kNoHandle;
    }
    if (posix::IsOwnTerminal(descriptor)) {
        close(descriptor);
        return kNoHandle;
    }
    // Keeps out programs that open the terminal without taking its lock.
    if (!posix::RememberHeldPort(descriptor) || ioctl(descriptor, TIOCEXCL) != 0) {
        posix::ForgetHeldPort(descriptor);
        close(descriptor);
        return kNoHandle;
    }
    return posix::HandleOf(descriptor);
}

bool DevicePathOf(const char* deviceName, char* path, std::size_t size) {
    char devicePath[posix::kDevicePathSize];
    if (!posix::DevicePathFor(deviceName, devicePath)) {
        return false;
    }
    const int length = std::snprintf(path, size, "%s", devicePath);
    return length > 0 && static_cast<std::size_t>(length) < size;
}

Handle ProbePort(const char* deviceName) {
    return posix::HandleOf(OpenFreeTerminal(deviceName, posix::TakeProbeLock));
}

// A probe never set the exclusive mode, and must not clear another holder's.
void ClosePort(Handle port) {
    const int descriptor = posix::DescriptorOf(port);
    // Cleared before the slot is let go: a signal in between still finds it and clears it again.
    if (posix::IsHeldPort(descriptor)) {
        ioctl(descriptor, TIOCNXCL);
        posix::ForgetHeldPort(descriptor);
    }
    close(descriptor);
}

void ReleaseGonePort(Handle port) {
    posix::ForgetHeldPort(posix::DescriptorOf(port));
    close(posix::DescriptorOf(port));
}

bool SavePortState(Handle port, SavedPortState* saved) {
    const int descriptor = posix::DescriptorOf(port);
    if (tcgetattr(descriptor, &saved->lineState) != 0) {
        return false;
    }
    posix::SaveOtherRates(descriptor, &saved->otherRates);
    posix::RememberLineState(descriptor, saved->lineState, saved->otherRates);
    return true;
}

bool RestorePortState(Handle port, const SavedPortState& saved) {
    const int descriptor = posix::DescriptorOf(port);
    return tcsetattr(descriptor, TCSANOW, &saved.lineState) == 0 &&
           posix::PutBackOtherRates(descriptor, saved.otherRates);
}

// Reads and writes on this descriptor never block, and each of them polls until it has moved
// every byte (or its stop signal comes): there are no driver time-outs to set.
bool SetZeroTimeouts(Handle /*port*/) {
    return true;
}

// Both modes flush the same way: a read in progress is abandoned through the reader's stop
// signal, not through the purge.
void PurgePort(Handle port, Purge /*mode*/) {
    tcflush(posix::DescriptorOf(port), TCIOFLUSH);
}

}  // namespace platform
