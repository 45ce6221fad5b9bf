// Opening and closing a COM port: exclusive (no sharing) and overlapped, so that one thread can
// read while another writes.
#include <atomic>

#include "HeldPorts.h"
#include "NativeHandle.h"
#include "PortProbe.h"
#include "platform/Clock.h"
#include "platform/ComName.h"
#include "platform/Port.h"

namespace platform {

namespace {

constexpr DWORD kAccess = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD kNoSharing = 0;
// USB and Bluetooth drivers let go of a closed handle in their own time, so the probe's handle on
// the port it has just found free may still hold it for a moment. Only that port, only that
// refusal, and only so long: a port that another program holds is reported as before.
constexpr std::uint64_t kLatelyMs = 10000;
constexpr std::uint32_t kReleaseGraceMs = 400;
constexpr DWORD kReopenPauseMs = 20;

// When the probe last closed each port it found free; 0 for never.
std::atomic<std::uint64_t> freedAtMs[kMaxPortNumber + 1];

Handle CreatePortHandle(const char* deviceName, DWORD flags) {
    return FromNative(
        CreateFileA(deviceName, kAccess, kNoSharing, nullptr, OPEN_EXISTING, flags, nullptr));
}

bool FreedByProbeLately(const char* deviceName) {
    std::uint32_t number = 0;
    if (!ParseDeviceName(deviceName, &number)) {
        return false;
    }
    const std::uint64_t freedAt = freedAtMs[number];
    return freedAt != 0 && NowMs() - freedAt < kLatelyMs;
}

}  // namespace

namespace win32 {

void NoteFreedByProbe(const char* deviceName) {
    std::uint32_t number = 0;
    if (ParseDeviceName(deviceName, &number)) {
        freedAtMs[number] = NowMs();
    }
}

}  // namespace win32

Handle OpenPort(const char* deviceName) {
    const Deadline grace(FreedByProbeLately(deviceName) ? kReleaseGraceMs : 0);
    for (;;) {
        const Handle port = CreatePortHandle(deviceName, FILE_FLAG_OVERLAPPED);
        if (port != kNoHandle) {
            win32::RememberHeldPort(ToNative(port), deviceName);
            return port;
        }
        if (GetLastError() != ERROR_ACCESS_DENIED || grace.Passed()) {
            return kNoHandle;
        }
        Sleep(kReopenPauseMs);
    }
}

Handle ProbePort(const char* deviceName) {
    return CreatePortHandle(deviceName, FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL);
}

void ClosePort(Handle port) {
    win32::ForgetHeldPort(ToNative(port));
    CloseHandle(ToNative(port));
}

// Closing the handle is what frees the COM number for the adapter when it comes back.
void ReleaseGonePort(Handle port) {
    win32::ForgetHeldPort(ToNative(port));
    CloseHandle(ToNative(port));
}

// A COM port has no other name that would tell the user more.
bool DevicePathOf(const char* /*deviceName*/, char* /*path*/, std::size_t /*size*/) {
    return false;
}

}  // namespace platform
