// Overlapped transfers on an open port: a write that the caller sees through to its end or
// abandons when flow control holds it too long, and a one-byte read that a stop event can
// abandon. Drivers fail in ways of their own, so a failure is put to the system before the port
// is taken for gone; and a driver may never complete a cancelled transfer, so no wait for one is
// without a limit.
#include <cstring>
#include <new>

#include "HeldPorts.h"
#include "NativeHandle.h"
#include "platform/Port.h"

namespace platform {

namespace {

constexpr DWORD kReadIndex = WAIT_OBJECT_0;
constexpr DWORD kWaitObjectCount = 2;
constexpr BOOL kDoNotWait = FALSE;
constexpr BOOL kAnyObject = FALSE;
// Between reads on a live port that ended without a byte: a driver with read time-outs of its
// own completes every read at once, and would otherwise be asked thousands of times a second.
constexpr DWORD kEmptyReadPauseMs = 100;
// The purges that end outstanding transfers at once, even where a driver leaves a cancel pending.
constexpr DWORD kAbortReads = PURGE_RXABORT;
constexpr DWORD kAbortWrites = PURGE_TXABORT | PURGE_TXCLEAR;
// A driver ends a cancelled transfer within milliseconds, a USB one within a few frames; one that
// has not within this never will (an unplugged adapter whose held write is never cancelled).
constexpr ULONGLONG kCancelLimitMs = 1000;
// A transfer's event may be signalled while the transfer is not complete (an event that another
// transfer shares): between looks at such a transfer, a pause instead of a spin.
constexpr DWORD kCancelLookPauseMs = 10;

// What the driver writes until a transfer has ended: its OVERLAPPED and its bytes. On the heap, so
// that a transfer whose cancel never ends can be left there for good rather than complete, some
// day, into memory that the program has moved on from. The event is the caller's: Windows holds
// on to the event object for as long as the transfer lasts, whoever closes its handle.
struct Transfer {
    OVERLAPPED overlapped;
    std::uint8_t* bytes;
};

Transfer* NewTransfer(Handle event, std::uint32_t length) {
    Transfer* transfer = new (std::nothrow) Transfer{};
    if (transfer == nullptr) {
        return nullptr;
    }
    transfer->bytes = new (std::nothrow) std::uint8_t[length == 0 ? 1 : length];
    if (transfer->bytes == nullptr) {
        delete transfer;
        return nullptr;
    }
    transfer->overlapped.hEvent = ToNative(event);
    return transfer;
}

void FreeTransfer(Transfer* transfer) {
    delete[] transfer->bytes;
    delete transfer;
}

// Codes that only a port that has gone reports: what some drivers say once the adapter has been
// unplugged, and Wine's hang-up of the line behind the port (after which the driver may still
// answer).
bool IsUnplugError(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_GEN_FAILURE || error == ERROR_BROKEN_PIPE;
}

// Any other code may come from a live port as well (a line error, a driver that aborts I/O across
// a power transition), and closing a live port would drop DTR, which a device may reset on. A
// removed device takes its COM name out of the system's device namespace. Where the namespace
// cannot say (Wine's does not know the ports linked into its prefix), the port is gone when its
// driver fails ClearCommError too, as a removed one does.
bool IsGone(HANDLE port, DWORD error) {
    if (IsUnplugError(error)) {
        return true;
    }
    switch (win32::NameOfHeldPort(port)) {
        case win32::NameStatus::kLeft:
            return true;
        case win32::NameStatus::kPresent:
            return false;
        case win32::NameStatus::kUnknown:
            break;
    }
    DWORD lineErrors = 0;
    return !ClearCommError(port, &lineErrors, nullptr);
}

// Waits for a cancelled transfer to end, within the limit; false when it has not.
bool AwaitEnd(HANDLE port, Transfer* transfer, DWORD* count) {
    const ULONGLONG started = GetTickCount64();
    for (;;) {
        if (GetOverlappedResult(port, &transfer->overlapped, count, kDoNotWait)) {
            return true;
        }
        if (GetLastError() != ERROR_IO_INCOMPLETE) {
            *count = 0;
            return true;
        }
        const ULONGLONG spent = GetTickCount64() - started;
        if (spent >= kCancelLimitMs) {
            return false;
        }
        if (WaitForSingleObject(transfer->overlapped.hEvent,
                                static_cast<DWORD>(kCancelLimitMs - spent)) == WAIT_OBJECT_0) {
            Sleep(kCancelLookPauseMs);
        }
    }
}

enum class Cancelled { kEnded, kNeverEnds };

// Collects a transfer that this side gave up on. CancelIo only asks the driver; the purge ends the
// transfer whatever the driver does with the request. It may have finished before either reached
// it: the count says. A transfer that still has not ended is left where it is, never freed, and
// its port taken for gone; otherwise the caller frees it.
Cancelled CancelAndCount(HANDLE port, Transfer* transfer, DWORD abort, DWORD* count) {
    CancelIo(port);
    PurgeComm(port, abort);
    *count = 0;
    return AwaitEnd(port, transfer, count) ? Cancelled::kEnded : Cancelled::kNeverEnds;
}

// An abandoned read that had already taken its byte keeps it: that byte has left the port. On
// Windows the purge before the next exchange would abort the read too, but Wine's does not.
ReadOutcome CancelPendingRead(HANDLE port, Transfer* transfer, std::uint8_t* byte,
                              ReadOutcome withoutByte) {
    DWORD count = 0;
    if (CancelAndCount(port, transfer, kAbortReads, &count) == Cancelled::kNeverEnds) {
        return ReadOutcome::kGone;
    }
    const ReadOutcome outcome = count == 1 ? ReadOutcome::kByte : withoutByte;
    if (outcome == ReadOutcome::kByte) {
        *byte = transfer->bytes[0];
    }
    FreeTransfer(transfer);
    return outcome;
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
ReadOutcome FinishRead(HANDLE port, Transfer* transfer, HANDLE stop, std::uint8_t* byte) {
    DWORD count = 0;
    if (!GetOverlappedResult(port, &transfer->overlapped, &count, kDoNotWait)) {
        const DWORD error = GetLastError();
        // Signalled, yet not complete (an event that another transfer shares): take the read
        // back and start a new one.
        if (error == ERROR_IO_INCOMPLETE) {
            return CancelPendingRead(port, transfer, byte, ReadOutcome::kNothing);
        }
        FreeTransfer(transfer);
        return NothingRead(port, stop, error);
    }
    if (count == 1) {
        *byte = transfer->bytes[0];
    }
    FreeTransfer(transfer);
    return count == 1 ? ReadOutcome::kByte : NothingRead(port, stop, ERROR_SUCCESS);
}

WriteOutcome WriteOutcomeOfError(HANDLE port, DWORD error) {
    return IsGone(port, error) ? WriteOutcome::kGone : WriteOutcome::kFailed;
}

// A held write that is given up: one that finished as it was given up has gone all the same.
WriteOutcome AbandonWrite(HANDLE port, Transfer* transfer, DWORD length) {
    DWORD count = 0;
    if (CancelAndCount(port, transfer, kAbortWrites, &count) == Cancelled::kNeverEnds) {
        return WriteOutcome::kGone;
    }
    FreeTransfer(transfer);
    return count == length ? WriteOutcome::kWritten : WriteOutcome::kHeld;
}

// A write, at once or after pending, may have moved fewer bytes than asked (a driver with write
// time-outs of its own).
WriteOutcome FinishWrite(HANDLE port, Transfer* transfer, DWORD length) {
    DWORD written = 0;
    if (!GetOverlappedResult(port, &transfer->overlapped, &written, kDoNotWait)) {
        const DWORD error = GetLastError();
        if (error == ERROR_IO_INCOMPLETE) {
            return AbandonWrite(port, transfer, length);
        }
        FreeTransfer(transfer);
        return WriteOutcomeOfError(port, error);
    }
    FreeTransfer(transfer);
    return written == length ? WriteOutcome::kWritten : WriteOutcome::kFailed;
}

}  // namespace

WriteOutcome WriteMessage(Handle port, Handle writeEvent, const std::uint8_t* data,
                          std::uint32_t length, std::uint32_t limitMs) {
    HANDLE nativePort = ToNative(port);
    Transfer* transfer = NewTransfer(writeEvent, length);
    if (transfer == nullptr) {
        return WriteOutcome::kFailed;
    }
    std::memcpy(transfer->bytes, data, length);
    if (WriteFile(nativePort, transfer->bytes, length, nullptr, &transfer->overlapped)) {
        return FinishWrite(nativePort, transfer, length);
    }
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) {
        FreeTransfer(transfer);
        return WriteOutcomeOfError(nativePort, error);
    }
    // Flow control (CTS low, an XOFF from a driver that honours it) can hold the write for ever.
    if (WaitForSingleObject(transfer->overlapped.hEvent, limitMs) != WAIT_OBJECT_0) {
        return AbandonWrite(nativePort, transfer, length);
    }
    return FinishWrite(nativePort, transfer, length);
}

// A read signalled through the port handle would miss its completion whenever the write of the
// same exchange signals that handle too; without an event of its own there is no read.
ReadOutcome ReadByte(Handle port, Handle readEvent, Handle stopEvent, std::uint8_t* byte) {
    if (readEvent == kNoHandle) {
        return ReadOutcome::kFailed;
    }
    Transfer* transfer = NewTransfer(readEvent, 1);
    if (transfer == nullptr) {
        return ReadOutcome::kFailed;
    }
    HANDLE nativePort = ToNative(port);
    HANDLE stop = ToNative(stopEvent);
    if (ReadFile(nativePort, transfer->bytes, 1, nullptr, &transfer->overlapped)) {
        return FinishRead(nativePort, transfer, stop, byte);
    }
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) {
        FreeTransfer(transfer);
        return NothingRead(nativePort, stop, error);
    }
    // The read comes first, so that when both are signalled the byte is taken. Only the stop
    // ends this wait; whatever the driver does, the read below is bounded.
    const HANDLE waitFor[kWaitObjectCount] = {transfer->overlapped.hEvent, stop};
    DWORD signalled = WaitForMultipleObjects(kWaitObjectCount, waitFor, kAnyObject, INFINITE);
    if (signalled == kReadIndex) {
        return FinishRead(nativePort, transfer, stop, byte);
    }
    // Stopped, or the wait itself failed: either way nobody will collect this read.
    return CancelPendingRead(nativePort, transfer, byte, ReadOutcome::kStopped);
}

}  // namespace platform
