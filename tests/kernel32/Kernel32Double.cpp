#define KERNEL32_DOUBLE_ITSELF
#include "Kernel32Double.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <map>
#include <mutex>
#include <set>

namespace kernel32_double {
namespace {

struct Transfer {
    HANDLE port = nullptr, signal = nullptr;  // signal: the OVERLAPPED's event
    DWORD thread = 0;                         // the one that issued it
    bool isWrite = false, complete = false;
    bool incomplete = false;               // signalled, yet ERROR_IO_INCOMPLETE until cancelled
    std::uint8_t* byteOnCancel = nullptr;  // where a cancelled read puts the byte that came
    std::uint8_t byte = 0;
    DWORD count = 0, error = 0;
};

struct State {
    std::deque<FakePort> ports;
    std::map<HANDLE, FakePort*> openPorts;
    std::map<const OVERLAPPED*, Transfer> transfers;
    FakeConsole console;
    std::set<DWORD> openingThreads;
} state;

using Hold = std::lock_guard<std::recursive_mutex>;
std::recursive_mutex lock;
std::map<DWORD, HANDLE> blockedOpens;  // thread -> the event that cancels its open; kept by Reset
// Set while the program's statics start, perhaps before those above: a plain pointer.
PHANDLER_ROUTINE controlHandler = nullptr;
HANDLE const kInput = reinterpret_cast<HANDLE>(0x7E570);  // no real handle nor fake port
HANDLE const kOutput = reinterpret_cast<HANDLE>(0x7E571);

template <typename Result = BOOL>
Result Fail(DWORD error, Result result = FALSE) {
    SetLastError(error);
    return result;
}

// The call recorded on the fake port behind a handle; ERROR_INVALID_HANDLE for any other handle.
template <typename Body>
BOOL OnPort(HANDLE handle, const char* call, Body body) {
    Hold hold(lock);
    auto found = state.openPorts.find(handle);
    if (found == state.openPorts.end()) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    found->second->calls.push_back(call);
    return body(found->second);
}

Transfer* Start(HANDLE port, OVERLAPPED* overlapped, bool isWrite) {
    // GetOverlappedResult (ioapiset.h): the event (the program always gives one) is reset first.
    ResetEvent(overlapped->hEvent);
    Transfer& transfer = state.transfers[overlapped];
    // ReadFile, WriteFile (fileapi.h): the OVERLAPPED must stay valid until the transfer ends.
    EXPECT_TRUE(transfer.port == nullptr || transfer.complete)
        << "an OVERLAPPED of a pending transfer is used again";
    transfer = Transfer{port, overlapped->hEvent, GetCurrentThreadId(), isWrite};
    return &transfer;
}

void Complete(Transfer* transfer, DWORD count, DWORD error) {
    transfer->complete = true;
    transfer->count = count;
    transfer->error = error;
    SetEvent(transfer->signal);
}

// "Canceling Pending I/O Operations": the driver may complete a cancelled request late or never.
template <typename Picks>
void CancelEach(FakePort* fake, HANDLE port, bool byPurge, Picks picks) {
    if (fake->cancel == Cancel::kNever || (fake->cancel == Cancel::kOnlyByPurge && !byPurge)) {
        return;
    }
    for (auto& [overlapped, transfer] : state.transfers) {
        if (transfer.port != port || transfer.complete || !picks(transfer)) {
            continue;
        }
        transfer.incomplete = false;
        const bool hasByte = transfer.byteOnCancel != nullptr;
        if (hasByte) {
            *transfer.byteOnCancel = transfer.byte;
        }
        Complete(&transfer, hasByte ? 1 : 0, hasByte ? 0 : ERROR_OPERATION_ABORTED);
    }
}

BOOL StartRead(FakePort* port, HANDLE handle, std::uint8_t* buffer, OVERLAPPED* overlapped) {
    Transfer* transfer = Start(handle, overlapped, false);
    // COMMTIMEOUTS (winbase.h): with read time-outs, a read ends with what has come by then.
    const COMMTIMEOUTS& t = port->timeouts;
    if (port->reads.empty()) {
        const bool endsAtOnce = port->emptyReadsAtOnce || t.ReadIntervalTimeout != 0 ||
                                t.ReadTotalTimeoutMultiplier != 0 ||
                                t.ReadTotalTimeoutConstant != 0;
        port->reads.push_back({endsAtOnce ? ReadStep::kNone : ReadStep::kPend});
    }
    const ReadStep step = port->reads.front();
    port->reads.pop_front();
    if (step.kind == ReadStep::kFail) {
        state.transfers.erase(overlapped);
        return Fail(step.error);
    }
    transfer->byte = step.byte;
    transfer->incomplete =
        step.kind == ReadStep::kIncompleteByte || step.kind == ReadStep::kIncomplete;
    transfer->byteOnCancel = step.kind == ReadStep::kIncompleteByte ? buffer : nullptr;
    if (transfer->incomplete) {
        SetEvent(transfer->signal);
    }
    if (transfer->incomplete || step.kind == ReadStep::kPend) {
        return Fail(ERROR_IO_PENDING);
    }
    const bool hasByte = step.kind == ReadStep::kByte || step.kind == ReadStep::kLateByte;
    if (hasByte) {
        *buffer = step.byte;
    }
    Complete(transfer, hasByte ? 1 : 0, step.kind == ReadStep::kLateFail ? step.error : 0);
    return step.kind == ReadStep::kByte || step.kind == ReadStep::kNone ? TRUE
                                                                        : Fail(ERROR_IO_PENDING);
}

}  // namespace

void Reset() {
    Hold hold(lock);
    state = State{};
}

FakePort* AddPort(const char* name) {
    Hold hold(lock);
    state.ports.emplace_back().name = name;
    return &state.ports.back();
}

FakePort* PortNamed(const char* name) {
    Hold hold(lock);
    auto found = std::find_if(state.ports.begin(), state.ports.end(),
                              [&](const FakePort& port) { return port.name == name; });
    return found == state.ports.end() ? nullptr : &*found;
}

FakeConsole* Console() {
    return &state.console;
}

std::size_t OpeningThreads() {
    Hold hold(lock);
    return state.openingThreads.size();
}

HANDLE WINAPI Double_CreateFileA(LPCSTR name, DWORD, DWORD share, LPSECURITY_ATTRIBUTES, DWORD,
                                 DWORD, HANDLE) {
    FakePort* port = PortNamed(name);
    std::unique_lock<std::recursive_mutex> hold(lock);
    state.openingThreads.insert(GetCurrentThreadId());
    // CancelSynchronousIo (ioapiset.h): a cancelled open fails with ERROR_OPERATION_ABORTED. The
    // wait is outside the lock, as other opens go on meanwhile on Windows.
    bool cancelled = false;
    if (port != nullptr && port->openDelayMs != 0) {
        HANDLE cancel = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        blockedOpens[GetCurrentThreadId()] = cancel;
        hold.unlock();
        cancelled = WaitForSingleObject(cancel, port->openDelayMs) == WAIT_OBJECT_0;
        hold.lock();
        blockedOpens.erase(GetCurrentThreadId());
        CloseHandle(cancel);
    }
    // CreateFileA (fileapi.h): communications resources are opened for exclusive access (a share
    // mode of 0); a closed handle may keep the port a while, until its driver lets go.
    const bool held =
        port != nullptr && (GetTickCount64() < port->busyUntil ||
                            std::any_of(state.openPorts.begin(), state.openPorts.end(),
                                        [&](const auto& open) { return open.second == port; }));
    const DWORD error = port == nullptr ? ERROR_FILE_NOT_FOUND
                        : share != 0    ? ERROR_INVALID_PARAMETER
                        : cancelled     ? ERROR_OPERATION_ABORTED
                        : held          ? ERROR_ACCESS_DENIED
                                        : port->openError;
    if (port != nullptr) {
        port->calls.push_back("CreateFileA");
    }
    if (error != 0) {
        return Fail(error, INVALID_HANDLE_VALUE);
    }
    HANDLE handle = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    state.openPorts[handle] = port;
    ++port->opens;
    return handle;
}

BOOL WINAPI Double_CloseHandle(HANDLE handle) {
    Hold hold(lock);
    if (auto found = state.openPorts.find(handle); found != state.openPorts.end()) {
        ++found->second->closes;
        found->second->busyUntil = GetTickCount64() + found->second->busyAfterCloseMs;
        state.openPorts.erase(found);
    }
    return CloseHandle(handle);
}

// GetCommState, SetCommState (winbase.h): zero when they fail, as a driver may make them.
BOOL WINAPI Double_GetCommState(HANDLE handle, LPDCB dcb) {
    return OnPort(handle, "GetCommState", [&](FakePort* port) {
        return port->commStateError != 0 ? Fail(port->commStateError) : (*dcb = port->dcb, TRUE);
    });
}

// SetCommState (winbase.h): fails when XonChar equals XoffChar.
BOOL WINAPI Double_SetCommState(HANDLE handle, LPDCB dcb) {
    return OnPort(handle, "SetCommState", [&](FakePort* port) {
        return port->commStateError != 0       ? Fail(port->commStateError)
               : dcb->XonChar == dcb->XoffChar ? Fail(ERROR_INVALID_PARAMETER)
                                               : (port->dcb = *dcb, TRUE);
    });
}

BOOL WINAPI Double_GetCommTimeouts(HANDLE handle, LPCOMMTIMEOUTS timeouts) {
    return OnPort(handle, "GetCommTimeouts",
                  [&](FakePort* port) { return (*timeouts = port->timeouts, TRUE); });
}

// SetCommTimeouts (winbase.h) sets them on the device: drivers keep them for the next program.
BOOL WINAPI Double_SetCommTimeouts(HANDLE handle, LPCOMMTIMEOUTS timeouts) {
    return OnPort(handle, "SetCommTimeouts",
                  [&](FakePort* port) { return (port->timeouts = *timeouts, TRUE); });
}

// PurgeComm (winbase.h): the ABORT flags end outstanding transfers whatever the driver does.
BOOL WINAPI Double_PurgeComm(HANDLE handle, DWORD flags) {
    return OnPort(handle, "PurgeComm", [&](FakePort* port) {
        if (port->unplugged) {
            return Fail(ERROR_BAD_COMMAND);
        }
        CancelEach(port, handle, true, [&](const Transfer& transfer) {
            return (flags & (transfer.isWrite ? PURGE_TXABORT : PURGE_RXABORT)) != 0;
        });
        // Only TXCLEAR empties the output buffer: an aborted write's bytes stay queued without it.
        port->queued = (flags & PURGE_TXCLEAR) != 0 ? 0 : port->queued;
        return TRUE;
    });
}

// ClearCommError (winbase.h): returns zero when it fails, as drivers do once the adapter has gone
// and some virtual and Bluetooth ones always.
BOOL WINAPI Double_ClearCommError(HANDLE handle, LPDWORD, LPCOMSTAT) {
    return OnPort(handle, "ClearCommError", [](FakePort* port) {
        return port->unplugged                  ? Fail(ERROR_BAD_COMMAND)
               : port->clearCommErrorError != 0 ? Fail(port->clearCommErrorError)
                                                : TRUE;
    });
}

// ReadFile (fileapi.h) may complete at once; COMMTIMEOUTS (winbase.h): even with no byte. From a
// pipe whose writer has closed, it fails with ERROR_BROKEN_PIPE.
BOOL WINAPI Double_ReadFile(HANDLE file, LPVOID buffer, DWORD, LPDWORD read,
                            LPOVERLAPPED overlapped) {
    if (file == kInput) {
        Hold hold(lock);
        std::deque<int>& reads = state.console.inputReads;
        const int next = reads.empty() ? FakeConsole::kNoByte : reads.front();
        *read = next == FakeConsole::kNoByte ? 0 : 1;
        if (*read == 1) {
            *static_cast<char*>(buffer) = static_cast<char>(next);
        }
        return reads.empty() ? Fail(ERROR_BROKEN_PIPE) : (reads.pop_front(), TRUE);
    }
    return OnPort(file, "ReadFile", [&](FakePort* port) {
        return StartRead(port, file, static_cast<std::uint8_t*>(buffer), overlapped);
    });
}

// WriteFile (fileapi.h) may complete at once and, with write time-outs, with fewer bytes.
BOOL WINAPI Double_WriteFile(HANDLE file, LPCVOID, DWORD size, LPDWORD, LPOVERLAPPED overlapped) {
    return OnPort(file, "WriteFile", [&](FakePort* port) {
        if (port->writeError != 0) {
            return Fail(port->writeError);
        }
        Transfer* transfer = Start(file, overlapped, true);
        port->queued = port->write == WriteBehaviour::kHeld ? size : 0;
        if (port->write != WriteBehaviour::kHeld) {
            Complete(transfer, port->write == WriteBehaviour::kPartlyAtOnce ? size / 2 : size, 0);
        }
        const bool atOnce =
            port->write == WriteBehaviour::kAtOnce || port->write == WriteBehaviour::kPartlyAtOnce;
        return atOnce ? TRUE : Fail(ERROR_IO_PENDING);
    });
}

// GetOverlappedResult (ioapiset.h): ERROR_IO_INCOMPLETE, or with bWait, wait for the end. Only a
// call ends a fake transfer, so one that has not ended when waited for never would.
BOOL WINAPI Double_GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD count,
                                       BOOL wait) {
    return OnPort(file, "GetOverlappedResult", [&](FakePort* port) {
        const Transfer& transfer = state.transfers[overlapped];
        if (!transfer.complete || transfer.incomplete) {
            EXPECT_FALSE(wait) << "GetOverlappedResult waits for ever on " << port->name;
            return Fail(ERROR_IO_INCOMPLETE);
        }
        *count = transfer.count;
        return transfer.error == 0 ? TRUE : Fail(transfer.error);
    });
}

// CancelIo (ioapiset.h): the calling thread's I/O only; "Canceling Pending I/O Operations": the
// driver may complete it late or never.
BOOL WINAPI Double_CancelIo(HANDLE file) {
    return OnPort(file, "CancelIo", [&](FakePort* port) {
        CancelEach(port, file, false, [&](const Transfer& transfer) {
            return transfer.thread == GetCurrentThreadId();
        });
        return TRUE;
    });
}

// CancelSynchronousIo (ioapiset.h): ERROR_NOT_FOUND when the thread has no I/O to cancel.
BOOL WINAPI Double_CancelSynchronousIo(HANDLE thread) {
    Hold hold(lock);
    auto found = blockedOpens.find(GetThreadId(thread));
    if (found == blockedOpens.end()) {
        return Fail(ERROR_NOT_FOUND);
    }
    SetEvent(found->second);
    return TRUE;
}

// QueryDosDevice (fileapi.h): a name that no device holds fails with ERROR_FILE_NOT_FOUND.
DWORD WINAPI Double_QueryDosDeviceA(LPCSTR name, LPSTR target, DWORD size) {
    FakePort* port = PortNamed((std::string("\\\\.\\") + name).c_str());
    Hold hold(lock);
    static const char kDevices[] = "\\Device\\Serial0\0";  // a list, ending in an empty name
    if (port == nullptr || port->unplugged || port->nameUnknown) {
        return Fail(ERROR_FILE_NOT_FOUND);
    }
    if (sizeof(kDevices) > size) {
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(target, kDevices, sizeof(kDevices));
    return sizeof(kDevices);
}

BOOL WINAPI Double_SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add) {
    controlHandler = add ? handler : controlHandler;
    return TRUE;
}

PHANDLER_ROUTINE ControlHandler() {
    return controlHandler;
}

// Only this process's own end is scripted; it is recorded, not carried out.
BOOL WINAPI Double_TerminateProcess(HANDLE process, UINT status) {
    Hold hold(lock);
    return process != GetCurrentProcess() ? Fail(ERROR_ACCESS_DENIED)
                                          : (state.console.terminatedWith = status, TRUE);
}

HANDLE WINAPI Double_GetStdHandle(DWORD which) {
    return which == STD_INPUT_HANDLE ? kInput : which == STD_OUTPUT_HANDLE ? kOutput : nullptr;
}

BOOL WINAPI Double_GetConsoleMode(HANDLE handle, LPDWORD mode) {
    Hold hold(lock);
    const bool isConsole = (handle == kInput && state.console.inputIsConsole) ||
                           (handle == kOutput && state.console.outputIsConsole);
    *mode = 0;
    return isConsole ? TRUE : Fail(ERROR_INVALID_HANDLE);
}

UINT WINAPI Double_GetConsoleOutputCP() {
    Hold hold(lock);
    return state.console.outputCodePage;
}

// WriteConsoleW: "If the handle is not a console handle, the function fails"; UTF-16 always.
BOOL WINAPI Double_WriteConsoleW(HANDLE output, const VOID* wide, DWORD length, LPDWORD written,
                                 LPVOID) {
    Hold hold(lock);
    if (output != kOutput || !state.console.outputIsConsole) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    state.console.written.append(static_cast<const wchar_t*>(wide), length);
    state.console.writes.push_back(length);
    *written = length;
    return TRUE;
}

int WINAPI Double_MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH bytes, int length,
                                      LPWSTR wide, int wideLength) {
    // MultiByteToWideChar: "CP_ACP: The system default Windows ANSI code page", here 1252.
    return MultiByteToWideChar(codePage == CP_ACP ? 1252 : codePage, flags, bytes, length, wide,
                               wideLength);
}

// FormatMessageW: the system's words with their line end, or ERROR_MR_MID_NOT_FOUND.
DWORD WINAPI Double_FormatMessageW(DWORD, LPCVOID, DWORD error, DWORD, LPWSTR buffer, DWORD size,
                                   va_list*) {
    Hold hold(lock);
    const std::wstring& message = state.console.message;
    if (error != state.console.messageError || message.size() >= size) {
        return Fail(ERROR_MR_MID_NOT_FOUND);
    }
    std::wcscpy(buffer, message.c_str());
    return static_cast<DWORD>(message.size());
}

}  // namespace kernel32_double
