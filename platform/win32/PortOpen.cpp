// Opening and closing a COM port: exclusive (no sharing) and overlapped, so that one thread can
// read while another writes.
#include "NativeHandle.h"
#include "platform/Port.h"

namespace platform {

namespace {

constexpr DWORD kAccess = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD kNoSharing = 0;

Handle CreatePortHandle(const char* deviceName, DWORD flags) {
    return FromNative(
        CreateFileA(deviceName, kAccess, kNoSharing, nullptr, OPEN_EXISTING, flags, nullptr));
}

}  // namespace

Handle OpenPort(const char* deviceName) {
    return CreatePortHandle(deviceName, FILE_FLAG_OVERLAPPED);
}

Handle ProbePort(const char* deviceName) {
    return CreatePortHandle(deviceName, FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL);
}

void ClosePort(Handle port) {
    CloseHandle(ToNative(port));
}

// Closing the handle is what frees the COM number for the adapter when it comes back.
void ReleaseGonePort(Handle port) {
    CloseHandle(ToNative(port));
}

// A COM port has no other name that would tell the user more.
bool DevicePathOf(const char* /*deviceName*/, char* /*path*/, std::size_t /*size*/) {
    return false;
}

}  // namespace platform
