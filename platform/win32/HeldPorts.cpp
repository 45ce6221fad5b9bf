// The held ports are shared with the console's control handler, which Windows runs on a thread of
// its own while the program goes on; a lock keeps it from putting back a port that is being closed
// or remembered. The handler is installed as the program starts, not with the first port, so that
// a Ctrl+C at any moment ends with the documented status.
#include "HeldPorts.h"

#include <cstdlib>
#include <cstring>

namespace platform {
namespace win32 {

namespace {

constexpr int kMaxHeldPorts = 8;
constexpr char kDevicePrefix[] = "\\\\.\\";
constexpr std::size_t kComNameSize = 16;

static_assert(sizeof(DCB) == SavedPortState::kLineSettingsSize,
              "a DCB as the saved state keeps it");

struct HeldPort {
    HANDLE port = nullptr;
    char comName[kComNameSize] = {};  // "COM7", as QueryDosDevice names it
    // Whether the device namespace knew the name when the port opened; Wine's does not know the
    // ports linked into its prefix after it started.
    bool nameAnswers = false;
    bool hasState = false;
    SavedPortState state{};
};

SRWLOCK heldLock = SRWLOCK_INIT;
HeldPort heldPorts[kMaxHeldPorts];

HeldPort* SlotOf(HANDLE port) {
    for (HeldPort& held : heldPorts) {
        if (held.port == port) {
            return &held;
        }
    }
    return nullptr;
}

// QueryDosDevice (fileapi.h): the current mapping of an MS-DOS device name, or, for a name that
// no device holds any more, failure with ERROR_FILE_NOT_FOUND.
NameStatus QueryName(const char* comName) {
    char target[MAX_PATH];
    if (QueryDosDeviceA(comName, target, MAX_PATH) != 0) {
        return NameStatus::kPresent;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_INSUFFICIENT_BUFFER) {
        return NameStatus::kPresent;
    }
    return error == ERROR_FILE_NOT_FOUND ? NameStatus::kLeft : NameStatus::kUnknown;
}

// Ctrl+C, Ctrl+Break, the console window closed, a log-off or a shut-down: each would end the
// process without putting anything back. No flush of standard output: another thread may hold
// its lock for good, and a signal on Linux ends the process without a flush too.
BOOL WINAPI PutBackAndEnd(DWORD) {
    PutBackHeldPorts();
    TerminateProcess(GetCurrentProcess(), kInterruptedExitStatus);
    return TRUE;
}

bool WatchEveryWayOut() {
    const bool atExit = std::atexit(PutBackHeldPorts) == 0;
    return SetConsoleCtrlHandler(&PutBackAndEnd, TRUE) != FALSE && atExit;
}

}  // namespace

// Outside the anonymous namespace, so that nothing drops it as a value never read.
extern const bool everyWayOutWatched;
const bool everyWayOutWatched = WatchEveryWayOut();

bool RememberHeldPort(HANDLE port, const char* deviceName) {
    const char* comName = deviceName;
    if (std::strncmp(comName, kDevicePrefix, sizeof(kDevicePrefix) - 1) == 0) {
        comName += sizeof(kDevicePrefix) - 1;
    }
    if (std::strlen(comName) >= kComNameSize) {
        return false;
    }
    // Asked before the lock: the namespace may take a moment, and the handler must not wait.
    const bool nameAnswers = QueryName(comName) == NameStatus::kPresent;
    AcquireSRWLockExclusive(&heldLock);
    HeldPort* slot = SlotOf(nullptr);
    if (slot != nullptr) {
        *slot = HeldPort{};
        slot->port = port;
        std::strcpy(slot->comName, comName);
        slot->nameAnswers = nameAnswers;
    }
    ReleaseSRWLockExclusive(&heldLock);
    return slot != nullptr;
}

void RememberPortState(HANDLE port, const SavedPortState& state) {
    AcquireSRWLockExclusive(&heldLock);
    HeldPort* slot = SlotOf(port);
    if (slot != nullptr) {
        slot->state = state;
        slot->hasState = true;
    }
    ReleaseSRWLockExclusive(&heldLock);
}

void ForgetHeldPort(HANDLE port) {
    AcquireSRWLockExclusive(&heldLock);
    HeldPort* slot = SlotOf(port);
    if (slot != nullptr) {
        *slot = HeldPort{};
    }
    ReleaseSRWLockExclusive(&heldLock);
}

bool PutBackPortState(HANDLE port, const SavedPortState& state) {
    bool putBack = true;
    if (state.hasLineSettings) {
        DCB settings{};
        std::memcpy(&settings, state.lineSettings, sizeof(settings));
        putBack = SetCommState(port, &settings) != FALSE;
    }
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = state.readIntervalTimeout;
    timeouts.ReadTotalTimeoutMultiplier = state.readTotalTimeoutMultiplier;
    timeouts.ReadTotalTimeoutConstant = state.readTotalTimeoutConstant;
    timeouts.WriteTotalTimeoutMultiplier = state.writeTotalTimeoutMultiplier;
    timeouts.WriteTotalTimeoutConstant = state.writeTotalTimeoutConstant;
    return SetCommTimeouts(port, &timeouts) != FALSE && putBack;
}

void PutBackHeldPorts() {
    AcquireSRWLockExclusive(&heldLock);
    for (const HeldPort& held : heldPorts) {
        if (held.port != nullptr && held.hasState) {
            PutBackPortState(held.port, held.state);
        }
    }
    ReleaseSRWLockExclusive(&heldLock);
}

NameStatus NameOfHeldPort(HANDLE port) {
    char comName[kComNameSize] = {};
    AcquireSRWLockShared(&heldLock);
    const HeldPort* slot = SlotOf(port);
    if (slot != nullptr && slot->nameAnswers) {
        std::strcpy(comName, slot->comName);
    }
    ReleaseSRWLockShared(&heldLock);
    return comName[0] == '\0' ? NameStatus::kUnknown : QueryName(comName);
}

}  // namespace win32
}  // namespace platform
