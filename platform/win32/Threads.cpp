// Events and threads. A manual-reset event, once signalled, stays signalled, so a stop request
// cannot be missed by a reader that was not yet waiting. The portable thread body returns a
// uint32_t and is not WINAPI; a small heap record carries it across to the Win32 start routine.
#include <new>

#include "NativeHandle.h"
#include "platform/Threads.h"

namespace platform {

namespace {

constexpr BOOL kManualReset = TRUE;
constexpr BOOL kNotSignalled = FALSE;
constexpr SIZE_T kDefaultStackSize = 0;
constexpr DWORD kStartAtOnce = 0;

struct ThreadStart {
    ThreadBody body;
    void* argument;
};

DWORD WINAPI RunThreadBody(LPVOID parameter) {
    ThreadStart* start = static_cast<ThreadStart*>(parameter);
    ThreadBody body = start->body;
    void* argument = start->argument;
    delete start;
    return body(argument);
}

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

Handle StartThread(ThreadBody body, void* argument) {
    ThreadStart* start = new (std::nothrow) ThreadStart{body, argument};
    if (start == nullptr) {
        return kNoHandle;
    }
    HANDLE thread =
        CreateThread(nullptr, kDefaultStackSize, &RunThreadBody, start, kStartAtOnce, nullptr);
    if (thread == nullptr) {
        delete start;
    }
    return FromNativeOrNull(thread);
}

WaitOutcome WaitForThread(Handle thread, std::uint32_t timeoutMs) {
    switch (WaitForSingleObject(ToNative(thread), timeoutMs)) {
        case WAIT_OBJECT_0:
            return WaitOutcome::kEnded;
        case WAIT_TIMEOUT:
            return WaitOutcome::kTimedOut;
        default:
            return WaitOutcome::kFailed;
    }
}

// The threads joined are an exchange's reader, which ends within the 3 s pause after the device's
// answer plus the bounded cancel of its read. Only one stuck in a driver call that never returns
// could take longer, and waiting for it would leave the run hung with no way out but Ctrl+C.
constexpr DWORD kJoinLimitMs = 10000;

bool JoinThread(Handle thread) {
    return WaitForSingleObject(ToNative(thread), kJoinLimitMs) == WAIT_OBJECT_0;
}

void CloseThread(Handle thread) {
    CloseHandle(ToNative(thread));
}

}  // namespace platform
