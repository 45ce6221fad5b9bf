// Overlapped transfers on an open port: a write that the caller sees through to its end or
// abandons when flow control holds it too long, and a one-byte read that a stop event can
// abandon.
#include "NativeHandle.h"

namespace platform {

namespace {

constexpr DWORD kReadIndex = WAIT_OBJECT_0;
constexpr DWORD kWaitObjectCount = 2;
constexpr DWORD kOneByte = 1;
constexpr BOOL kWaitForCompletion = TRUE;
constexpr BOOL kDoNotWait = FALSE;
constexpr BOOL kAnyObject = FALSE;

// What drivers report once the adapter has been unplugged (which one depends on the driver), and
// Wine's hang-up of the line behind the port.
bool IsGoneError(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_GEN_FAILURE ||
           error == ERROR_OPERATION_ABORTED || error == ERROR_BROKEN_PIPE;
}

// Collects a transfer that this side gave up on, so that it never completes into memory that
// is gone. The transfer may have finished before the cancel reached it: the count says.
DWORD CancelAndCount(HANDLE port, OVERLAPPED* overlapped) {
    CancelIo(port);
    DWORD count = 0;
    return GetOverlappedResult(port, overlapped, &count, kWaitForCompletion) ? count : 0;
}

// An abandoned read that had already taken its byte keeps it: that byte has left the port. On
// Windows the purge before the next exchange would abort the read too, but Wine's does not.
ReadOutcome CancelPendingRead(HANDLE port, OVERLAPPED* overlapped, ReadOutcome withoutByte) {
    return CancelAndCount(port, overlapped) == kOneByte ? ReadOutcome::kByte : withoutByte;
}

ReadOutcome OutcomeOfError(DWORD error) {
    return IsGoneError(error) ? ReadOutcome::kGone : ReadOutcome::kFailed;
}

ReadOutcome FinishPendingRead(HANDLE port, OVERLAPPED* overlapped) {
    DWORD count = 0;
    if (GetOverlappedResult(port, overlapped, &count, kDoNotWait)) {
        return count == kOneByte ? ReadOutcome::kByte : ReadOutcome::kNothing;
    }
    const DWORD error = GetLastError();
    // Signalled, yet not complete (an event that another transfer shares): take the read back
    // and start a new one.
    if (error == ERROR_IO_INCOMPLETE) {
        return CancelPendingRead(port, overlapped, ReadOutcome::kNothing);
    }
    return OutcomeOfError(error);
}

// A read that completes at once may still have moved nothing (a driver with read time-outs of
// its own, or an end of file).
ReadOutcome FinishImmediateRead(HANDLE port, OVERLAPPED* overlapped) {
    DWORD count = 0;
    if (!GetOverlappedResult(port, overlapped, &count, kDoNotWait)) {
        return OutcomeOfError(GetLastError());
    }
    return count == kOneByte ? ReadOutcome::kByte : ReadOutcome::kNothing;
}

WriteOutcome WriteOutcomeOfError(DWORD error) {
    return IsGoneError(error) ? WriteOutcome::kGone : WriteOutcome::kFailed;
}

}  // namespace

WriteOutcome WriteMessage(Handle port, Handle writeEvent, const std::uint8_t* data,
                          std::uint32_t length, std::uint32_t limitMs) {
    HANDLE nativePort = ToNative(port);
    OVERLAPPED overlapped{};
    overlapped.hEvent = ToNative(writeEvent);
    if (WriteFile(nativePort, data, length, nullptr, &overlapped)) {
        return WriteOutcome::kWritten;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) {
        return WriteOutcomeOfError(error);
    }
    // Flow control (CTS low, an XOFF from a driver that honours it) can hold the write for ever.
    // A write that finished just as the limit ran out has gone all the same.
    if (WaitForSingleObject(overlapped.hEvent, limitMs) != WAIT_OBJECT_0) {
        return CancelAndCount(nativePort, &overlapped) == length ? WriteOutcome::kWritten
                                                                 : WriteOutcome::kHeld;
    }
    DWORD written = 0;
    if (!GetOverlappedResult(nativePort, &overlapped, &written, kWaitForCompletion)) {
        return WriteOutcomeOfError(GetLastError());
    }
    return written == length ? WriteOutcome::kWritten : WriteOutcome::kFailed;
}

// Without an event of its own, the read is signalled through the port handle, as Windows does
// for an OVERLAPPED whose hEvent is null. The write of the same exchange signals that handle
// too; such a wake-up is told apart by ERROR_IO_INCOMPLETE.
ReadOutcome ReadByte(Handle port, Handle readEvent, Handle stopEvent, std::uint8_t* byte) {
    HANDLE nativePort = ToNative(port);
    OVERLAPPED overlapped{};
    overlapped.hEvent = readEvent == kNoHandle ? nullptr : ToNative(readEvent);
    if (ReadFile(nativePort, byte, kOneByte, nullptr, &overlapped)) {
        return FinishImmediateRead(nativePort, &overlapped);
    }
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) {
        return OutcomeOfError(error);
    }
    // The read comes first, so that when both are signalled the byte is taken.
    const HANDLE readSignal = overlapped.hEvent != nullptr ? overlapped.hEvent : nativePort;
    const HANDLE waitFor[kWaitObjectCount] = {readSignal, ToNative(stopEvent)};
    DWORD signalled = WaitForMultipleObjects(kWaitObjectCount, waitFor, kAnyObject, INFINITE);
    if (signalled == kReadIndex) {
        return FinishPendingRead(nativePort, &overlapped);
    }
    // Stopped, or the wait itself failed: either way nobody will collect this read.
    return CancelPendingRead(nativePort, &overlapped, ReadOutcome::kStopped);
}

}  // namespace platform
