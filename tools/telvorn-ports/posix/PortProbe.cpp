#include "PortProbe.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "PortHolders.h"
#include "platform/posix/FreeTerminal.h"

namespace {

using platform::posix::TerminalAttempt;
using platform::posix::TerminalRefusal;

constexpr std::size_t kTextSize = PortFinding::kTextSize;
constexpr mode_t kGroupReadWrite = S_IRGRP | S_IWGRP;

void SetHeld(const char* devicePath, PortFinding* finding) {
    char holders[kTextSize];
    DescribeHolders(devicePath, holders);
    finding->SetState("held by another program");
    if (holders[0] != '\0') {
        finding->AppendToState(": ");
        finding->AppendToState(holders);
    }
}

// Exclusive mode outlives a program that was killed before it could clear it: its lock went with
// it, while the mode stays until every program that has the port open has closed it. Only a
// holder of the lock is named as holding the port.
void SetExclusive(const char* devicePath, PortFinding* finding) {
    char lockers[kTextSize];
    DescribeLockHolders(devicePath, lockers);
    if (lockers[0] != '\0') {
        SetHeld(devicePath, finding);
        return;
    }
    char openers[kTextSize];
    DescribeHolders(devicePath, openers);
    finding->SetState("in exclusive mode, but no program holds its lock");
    if (openers[0] != '\0') {
        finding->AppendToState("; open in ");
        finding->AppendToState(openers);
    }
    finding->SetHint(
        "Exclusive mode left by a program that ended clears once every program that has the port "
        "open closes it.");
}

// A program that opens a port without taking its lock (cat, screen, ModemManager's probe) does not
// keep telvorn out, but takes the device's replies from it; telvorn still opens such a port, since
// a test rig or a bridge may hold the other end open without reading.
void SetFreeOrOpen(const char* devicePath, PortFinding* finding) {
    char holders[kTextSize];
    DescribeHolders(devicePath, holders);
    if (holders[0] == '\0') {
        finding->SetState("free");
        return;
    }
    finding->SetState("open in another program: ");
    finding->AppendToState(holders);
    finding->SetHint(
        "A port open in another program gets the device's replies before telvorn: close that "
        "program, or telvorn only shows dots.");
}

void SetCannotOpen(const char* reason, PortFinding* finding) {
    finding->SetState("cannot open: ");
    finding->AppendToState(reason);
}

// The way in is the group that owns the device (dialout on Debian and Ubuntu, uucp on Arch),
// when that group may read and write it.
void SetNoPermission(const char* devicePath, PortFinding* finding) {
    struct stat device {};
    const group* owners = nullptr;
    if (stat(devicePath, &device) == 0 && (device.st_mode & kGroupReadWrite) == kGroupReadWrite) {
        owners = getgrgid(device.st_gid);
    }
    if (owners == nullptr) {
        finding->SetState("no permission");
        finding->SetHint("Ask the administrator for read and write access to the device.");
        return;
    }
    char text[kTextSize];
    std::snprintf(text, kTextSize, "no permission (group %s)", owners->gr_name);
    finding->SetState(text);
    std::snprintf(text, kTextSize,
                  "To use ports of group %s, join it: sudo usermod -aG %s $USER, then log in "
                  "again.",
                  owners->gr_name, owners->gr_name);
    finding->SetHint(text);
}

void SetOpenFailure(const char* devicePath, int error, PortFinding* finding) {
    switch (error) {
        case EACCES:
        case EPERM:
            SetNoPermission(devicePath, finding);
            break;
        case EBUSY:  // in exclusive mode, to anyone but root
            SetExclusive(devicePath, finding);
            break;
        default:
            SetCannotOpen(std::strerror(error), finding);
            break;
    }
}

}  // namespace

void ProbeDevice(const char* devicePath, PortFinding* finding) {
    TerminalAttempt attempt;
    const int descriptor = OpenFreeTerminal(devicePath, platform::posix::TakeProbeLock, &attempt);
    if (descriptor != platform::posix::kNoTerminal) {
        const bool own = platform::posix::IsOwnTerminal(descriptor);
        close(descriptor);
        if (own) {
            SetCannotOpen("it is the terminal this program runs on", finding);
        } else {
            SetFreeOrOpen(devicePath, finding);
        }
        return;
    }
    switch (attempt.refusal) {
        case TerminalRefusal::kOpenFailed:
            SetOpenFailure(devicePath, attempt.error, finding);
            break;
        case TerminalRefusal::kNotTerminal:
            SetCannotOpen("not a terminal", finding);
            break;
        case TerminalRefusal::kLockRefused:
            if (attempt.error == EWOULDBLOCK) {
                SetHeld(devicePath, finding);
            } else {
                SetCannotOpen(std::strerror(attempt.error), finding);
            }
            break;
        case TerminalRefusal::kExclusive:
            SetExclusive(devicePath, finding);
            break;
        case TerminalRefusal::kNone:  // not with a refused terminal
            SetHeld(devicePath, finding);
            break;
    }
}
