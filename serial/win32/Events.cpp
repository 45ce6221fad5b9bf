// Manual-reset events: once signalled they stay signalled, so a stop request cannot be missed by
// a reader that was not yet waiting.
#include "NativeHandle.h"

namespace platform {

namespace {

constexpr BOOL kManualReset = TRUE;
constexpr BOOL kNotSignalled = FALSE;

}  // namespace

Handle NewEvent() {
    return FromNativeOrNull(CreateEventA(nullptr, kManualReset, kNotSignalled, nullptr));
}

void SignalEvent(Handle event) {
    SetEvent(ToNative(event));
}

void WaitForEvent(Handle event) {
    WaitForSingleObject(ToNative(event), INFINITE);
}

bool IsSignalled(Handle event) {
    constexpr DWORD kDoNotWait = 0;
    return WaitForSingleObject(ToNative(event), kDoNotWait) == WAIT_OBJECT_0;
}

void CloseEvent(Handle event) {
    CloseHandle(ToNative(event));
}

}  // namespace platform
