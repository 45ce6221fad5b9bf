// Overlapped transfers on an open port: a write that the caller sees through to its end, and a
// one-byte read that a stop event can abandon.
#include "NativeHandle.h"

namespace platform {

namespace {

constexpr DWORD kReadIndex = WAIT_OBJECT_0;
constexpr DWORD kWaitObjectCount = 2;
constexpr BOOL kWaitForCompletion = TRUE;
constexpr BOOL kDoNotWait = FALSE;
constexpr BOOL kAnyObject = FALSE;

// An abandoned read must not complete into the caller's byte once ReadByte has returned. On
// Windows the purge before the next exchange would abort it too, but Wine's does not. The read
// may have completed before the cancel reached it: that byte has left the port and is taken.
ReadOutcome CancelPendingRead(HANDLE port, OVERLAPPED* overlapped) {
    CancelIo(port);
    DWORD count = 0;
    if (GetOverlappedResult(port, overlapped, &count, kWaitForCompletion) && count == 1) {
        return ReadOutcome::kByte;
    }
    return ReadOutcome::kStopped;
}

ReadOutcome FinishPendingRead(HANDLE port, OVERLAPPED* overlapped) {
    DWORD count = 0;
    if (!GetOverlappedResult(port, overlapped, &count, kDoNotWait)) {
        // A hang-up fails the pending read (Wine: ERROR_BROKEN_PIPE); the line is gone.
        return ReadOutcome::kFailed;
    }
    return count == 1 ? ReadOutcome::kByte : ReadOutcome::kNothing;
}

}  // namespace

bool WriteMessage(Handle port, Handle writeEvent, const std::uint8_t* data, std::uint32_t length) {
    HANDLE nativePort = ToNative(port);
    OVERLAPPED overlapped{};
    overlapped.hEvent = ToNative(writeEvent);
    if (WriteFile(nativePort, data, length, nullptr, &overlapped)) {
        return true;
    }
    if (GetLastError() != ERROR_IO_PENDING) {
        return false;
    }
    DWORD written = 0;
    return GetOverlappedResult(nativePort, &overlapped, &written, kWaitForCompletion) &&
           written == length;
}

ReadOutcome ReadByte(Handle port, Handle readEvent, Handle stopEvent, std::uint8_t* byte) {
    HANDLE nativePort = ToNative(port);
    OVERLAPPED overlapped{};
    overlapped.hEvent = ToNative(readEvent);
    if (ReadFile(nativePort, byte, 1, nullptr, &overlapped)) {
        return ReadOutcome::kByte;
    }
    if (GetLastError() != ERROR_IO_PENDING) {
        return ReadOutcome::kFailed;
    }
    // The read comes first, so that when both are signalled the byte is taken.
    const HANDLE waitFor[kWaitObjectCount] = {overlapped.hEvent, ToNative(stopEvent)};
    DWORD signalled = WaitForMultipleObjects(kWaitObjectCount, waitFor, kAnyObject, INFINITE);
    if (signalled == kReadIndex) {
        return FinishPendingRead(nativePort, &overlapped);
    }
    // Stopped, or the wait itself failed: either way nobody will collect this read.
    return CancelPendingRead(nativePort, &overlapped);
}

}  // namespace platform
