// The ports this process holds, each with its COM name and the state to put back on it, so that
// every way out puts them back as they were found: a normal close, the end of the process, and the
// console's Ctrl+C, Ctrl+Break and close, which end the process from a thread of their own.
#pragma once

#include <windows.h>

#include "SavedPortState.h"

namespace platform {
namespace win32 {

// The status a process ended from the console (Ctrl+C, Ctrl+Break, the window closed) exits with:
// 128 + SIGINT, as a shell reports Ctrl+C on Linux, rather than 0xC000013A, which ERRORLEVEL
// tests read as success.
constexpr UINT kInterruptedExitStatus = 130;

// False when no more can be remembered; the port then works, without these services.
bool RememberHeldPort(HANDLE port, const char* deviceName);
void RememberPortState(HANDLE port, const SavedPortState& state);
void ForgetHeldPort(HANDLE port);

// Puts the remembered state back on one port, or on every held port: DCB and time-outs each on
// their own, so that a driver refusing one still gets the other.
bool PutBackPortState(HANDLE port, const SavedPortState& state);
void PutBackHeldPorts();

enum class NameStatus {
    kPresent,  // the COM name still names a device
    kLeft,     // the COM name has left the device namespace: the device was removed
    kUnknown,  // the system could not say (or the port is not held)
};
NameStatus NameOfHeldPort(HANDLE port);

}  // namespace win32
}  // namespace platform
