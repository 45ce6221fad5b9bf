// Overlapped transfers on an open port: a write that the caller sees through to its end or
// abandons when flow control holds it too long, and a one-byte read that a stop event can
// abandon. Drivers fail in ways of their own, so a failure is put to the driver before the port
// is taken for gone.
#include "NativeHandle.h"
#include "platform/Port.h"

namespace platform {

namespace {

constexpr DWORD kReadIndex = WAIT_OBJECT_0;
constexpr DWORD kWaitObjectCount = 2;
constexpr BOOL kWaitForCompletion = TRUE;
constexpr BOOL kDoNotWait = FALSE;
constexpr BOOL kAnyObject = FALSE;
// Between reads on a live port that ended without a byte: a driver with read time-outs of its
// own completes every read at once, and would otherwise be asked thousands of times a second.
constexpr DWORD kEmptyReadPauseMs = 100;
// The purges that end outstanding transfers at once, even where a driver leaves a cancel pending.
constexpr DWORD kAbortReads = PURGE_RXABORT;
constexpr DWORD kAbortWrites = PURGE_TXABORT | PURGE_TXCLEAR;

// Codes that only a port that has gone reports: what some drivers say once the adapter has been
// unplugged, and Wine's hang-up of the line behind the port (after which the driver may still
// answer).
bool IsUnplugError(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_GEN_FAILURE || error == ERROR_BROKEN_PIPE;
}

// Any other code may come from a live port as well (a line error, a driver that aborts I/O across
// a power transition): the driver of a port that has gone fails this call too. Closing a live
// port would drop DTR, and a device that resets on it would lose the download.
bool IsGone(HANDLE port, DWORD error) {
    DWORD lineErrors = 0;
    return IsUnplugError(error) || !ClearCommError(port, &lineErrors, nullptr);
}

// Collects a transfer that this side gave up on, so that it never completes into memory that
// is gone. CancelIo only asks the driver; the purge ends the transfer whatever the driver does
// with the request. It may have finished before either reached it: the count says.
DWORD CancelAndCount(HANDLE port, OVERLAPPED* overlapped, DWORD abort) {
    CancelIo(port);
    PurgeComm(port, abort);
    DWORD count = 0;
    return GetOverlappedResult(port, overlapped, &count, kWaitForCompletion) ? count : 0;
}

// An abandoned read that had already taken its byte keeps it: that byte has left the port. On
// Windows the purge before the next exchange would abort the read too, but Wine's does not.
ReadOutcome CancelPendingRead(HANDLE port, OVERLAPPED* overlapped, ReadOutcome withoutByte) {
    return CancelAndCount(port, overlapped, kAbortReads) == 1 ? ReadOutcome::kByte : withoutByte;
}

// A read on a live port that brought nothing is issued again after a pause that the stop ends.
ReadOutcome NothingRead(HANDLE port, HANDLE stop, DWORD error) {
    if (IsGone(port, error)) {
        return ReadOutcome::kGone;
    }
    return WaitForSingleObject(stop, kEmptyReadPauseMs) == WAIT_TIMEOUT ? ReadOutcome::kNothing
                                                                        : ReadOutcome::kStopped;
}

// A read may complete without a byte (a driver with read time-outs of its own, or an end of file).
ReadOutcome FinishRead(HANDLE port, OVERLAPPED* overlapped, HANDLE stop) {
    DWORD count = 0;
    if (!GetOverlappedResult(port, overlapped, &count, kDoNotWait)) {
        const DWORD error = GetLastError();
        // Signalled, yet not complete (an event that another transfer shares): take the read
        // back and start a new one.
        if (error == ERROR_IO_INCOMPLETE) {
            return CancelPendingRead(port, overlapped, ReadOutcome::kNothing);
        }
        return NothingRead(port, stop, error);
    }
    return count == 1 ? ReadOutcome::kByte : NothingRead(port, stop, ERROR_SUCCESS);
}

WriteOutcome WriteOutcomeOfError(HANDLE port, DWORD error) {
    return IsGone(port, error) ? WriteOutcome::kGone : WriteOutcome::kFailed;
}

// A write, at once or after pending, may have moved fewer bytes than asked (a driver with write
// time-outs of its own).
WriteOutcome FinishWrite(HANDLE port, OVERLAPPED* overlapped, DWORD length, BOOL wait) {
    DWORD written = 0;
    if (!GetOverlappedResult(port, overlapped, &written, wait)) {
        return WriteOutcomeOfError(port, GetLastError());
    }
    return written == length ? WriteOutcome::kWritten : WriteOutcome::kFailed;
}

}  // namespace

WriteOutcome WriteMessage(Handle port, Handle writeEvent, const std::uint8_t* data,
                          std::uint32_t length, std::uint32_t limitMs) {
    HANDLE nativePort = ToNative(port);
    OVERLAPPED overlapped{};
    overlapped.hEvent = ToNative(writeEvent);
    if (WriteFile(nativePort, data, length, nullptr, &overlapped)) {
        return FinishWrite(nativePort, &overlapped, length, kDoNotWait);
    }
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) {
        return WriteOutcomeOfError(nativePort, error);
    }
    // Flow control (CTS low, an XOFF from a driver that honours it) can hold the write for ever.
    // A write that finished just as the limit ran out has gone all the same.
    if (WaitForSingleObject(overlapped.hEvent, limitMs) != WAIT_OBJECT_0) {
        return CancelAndCount(nativePort, &overlapped, kAbortWrites) == length
                   ? WriteOutcome::kWritten
                   : WriteOutcome::kHeld;
    }
    return FinishWrite(nativePort, &overlapped, length, kWaitForCompletion);
}

// A read signalled through the port handle would miss its completion whenever the write of the
// same exchange signals that handle too; without an event of its own there is no read.
ReadOutcome ReadByte(Handle port, Handle readEvent, Handle stopEvent, std::uint8_t* byte) {
    if (readEvent == kNoHandle) {
        return ReadOutcome::kFailed;
    }
    HANDLE nativePort = ToNative(port);
    HANDLE stop = ToNative(stopEvent);
    OVERLAPPED overlapped{};
    overlapped.hEvent = ToNative(readEvent);
    if (ReadFile(nativePort, byte, 1, nullptr, &overlapped)) {
        return FinishRead(nativePort, &overlapped, stop);
    }
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) {
        return NothingRead(nativePort, stop, error);
    }
    // The read comes first, so that when both are signalled the byte is taken.
    const HANDLE waitFor[kWaitObjectCount] = {overlapped.hEvent, stop};
    DWORD signalled = WaitForMultipleObjects(kWaitObjectCount, waitFor, kAnyObject, INFINITE);
    if (signalled == kReadIndex) {
        return FinishRead(nativePort, &overlapped, stop);
    }
    // Stopped, or the wait itself failed: either way nobody will collect this read.
    return CancelPendingRead(nativePort, &overlapped, ReadOutcome::kStopped);
}

}  // namespace platform
