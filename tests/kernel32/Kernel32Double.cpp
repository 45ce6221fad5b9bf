#define KERNEL32_DOUBLE_ITSELF
#include "Kernel32Double.h"

#include <cstring>
#include <cwchar>
#include <map>
#include <memory>
#include <mutex>
#include <set>

namespace kernel32_double {

void ResetText();

namespace {

// What one overlapped transfer on a fake port has come to.
struct Transfer {
    HANDLE port = nullptr;
    HANDLE signal = nullptr;  // the OVERLAPPED's event, or the port handle when it has none
    DWORD thread = 0;         // the thread that issued it
    bool isWrite = false;
    bool complete = false;
    bool incomplete = false;  // signalled, yet reports ERROR_IO_INCOMPLETE until cancelled
    bool byteOnCancel = false;
    std::uint8_t* buffer = nullptr;
    std::uint8_t byte = 0;
    DWORD count = 0;
    DWORD error = 0;
};

std::recursive_mutex lock;
std::vector<std::unique_ptr<FakePort>> ports;
std::map<HANDLE, FakePort*> openPorts;
std::map<const OVERLAPPED*, Transfer> transfers;
FakeConsole console;
std::set<DWORD> openingThreads;
// The threads blocked in a slow open, each with the event that CancelSynchronousIo sets.
std::map<DWORD, HANDLE> blockedOpens;

// Standard input and output, told apart from real handles and from every fake port.
HANDLE const kInput = reinterpret_cast<HANDLE>(0x7E570);
HANDLE const kOutput = reinterpret_cast<HANDLE>(0x7E571);

FakePort* OpenPortOf(HANDLE handle) {
    auto found = openPorts.find(handle);
    return found == openPorts.end() ? nullptr : found->second;
}

// DCB (winbase.h): with fAbortOnError, a line error fails every transfer until ClearCommError.
bool AbortsOnError(const FakePort& port) {
    return port.lineErrorPending && port.dcb.fAbortOnError;
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// The fake port behind a handle, with the call recorded when it is named; null, with
// ERROR_INVALID_HANDLE, for any other handle.
FakePort* CommPort(HANDLE handle, const char* call) {
    FakePort* port = OpenPortOf(handle);
    if (port == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (call != nullptr) {
        port->calls.push_back(call);
    }
    return port;
}

Transfer* Start(HANDLE port, OVERLAPPED* overlapped, bool isWrite) {
    Transfer& transfer = transfers[overlapped];
    transfer = Transfer{};
    transfer.port = port;
    transfer.thread = GetCurrentThreadId();
    transfer.isWrite = isWrite;
    transfer.signal = overlapped->hEvent != nullptr ? overlapped->hEvent : port;
    // OVERLAPPED (minwinbase.h): the event is reset when the transfer starts; without one,
    // GetOverlappedResult (ioapiset.h) says the file handle is signalled instead.
    ResetEvent(transfer.signal);
    return &transfer;
}

void Complete(Transfer* transfer, DWORD count, DWORD error) {
    transfer->complete = true;
    transfer->count = count;
    transfer->error = error;
    SetEvent(transfer->signal);
}

BOOL Pending() {
    return Fail(ERROR_IO_PENDING);
}

void Cancel(Transfer* transfer) {
    transfer->incomplete = false;
    if (transfer->byteOnCancel) {
        *transfer->buffer = transfer->byte;
        Complete(transfer, 1, 0);
    } else {
        Complete(transfer, 0, ERROR_OPERATION_ABORTED);
    }
}

// The transfers on a port that are still going, reads or writes.
std::vector<Transfer*> Outstanding(HANDLE port, bool writes) {
    std::vector<Transfer*> found;
    for (auto& entry : transfers) {
        Transfer& transfer = entry.second;
        if (transfer.port == port && !transfer.complete && transfer.isWrite == writes) {
            found.push_back(&transfer);
        }
    }
    return found;
}

BOOL ReadInput(char* buffer, LPDWORD read) {
    ++console.inputReadCalls;
    if (console.inputReads.empty()) {
        *read = 0;
        return Fail(ERROR_BROKEN_PIPE);
    }
    const int next = console.inputReads.front();
    console.inputReads.pop_front();
    *read = next == FakeConsole::kNoByte ? 0 : 1;
    if (*read == 1) {
        *buffer = static_cast<char>(next);
    }
    return TRUE;
}

BOOL StartRead(FakePort* port, HANDLE handle, std::uint8_t* buffer, OVERLAPPED* overlapped) {
    Transfer* transfer = Start(handle, overlapped, false);
    transfer->buffer = buffer;
    if (port->reads.empty() && port->emptyReadsAtOnce) {
        Complete(transfer, 0, 0);
        return TRUE;
    }
    if (port->reads.empty()) {
        return Pending();
    }
    const ReadStep step = port->reads.front();
    port->reads.pop_front();
    switch (step.kind) {
        case ReadStep::kByteAtOnce:
            *buffer = step.byte;
            Complete(transfer, 1, 0);
            return TRUE;
        case ReadStep::kNothingAtOnce:
            Complete(transfer, 0, 0);
            return TRUE;
        case ReadStep::kPendingThenByte:
            *buffer = step.byte;
            Complete(transfer, 1, 0);
            return Pending();
        case ReadStep::kIncompleteThenByte:
        case ReadStep::kIncompleteNoByte:
            transfer->incomplete = true;
            transfer->byteOnCancel = step.kind == ReadStep::kIncompleteThenByte;
            transfer->byte = step.byte;
            SetEvent(transfer->signal);
            return Pending();
        case ReadStep::kFails:
            transfers.erase(overlapped);
            return Fail(step.error);
        case ReadStep::kPendsThenFails:
            Complete(transfer, 0, step.error);
            return Pending();
    }
    return Pending();
}

}  // namespace

void Reset() {
    std::lock_guard<std::recursive_mutex> hold(lock);
    ports.clear();
    openPorts.clear();
    transfers.clear();
    console = FakeConsole{};
    ResetText();
    openingThreads.clear();
}

FakePort* AddPort(const char* name) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    ports.push_back(std::make_unique<FakePort>());
    FakePort* port = ports.back().get();
    port->name = name;
    port->dcb.DCBlength = sizeof(DCB);
    port->dcb.BaudRate = CBR_9600;
    port->dcb.ByteSize = 8;
    return port;
}

FakePort* PortNamed(const char* name) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    for (auto& port : ports) {
        if (port->name == name) {
            return port.get();
        }
    }
    return nullptr;
}

FakeConsole* Console() {
    return &console;
}

std::size_t OpeningThreads() {
    std::lock_guard<std::recursive_mutex> hold(lock);
    return openingThreads.size();
}

namespace {

// CancelSynchronousIo (ioapiset.h): a synchronous open that is cancelled fails with
// ERROR_OPERATION_ABORTED.
bool BlockInOpen(DWORD delayMs) {
    HANDLE cancelled = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    {
        std::lock_guard<std::recursive_mutex> hold(lock);
        blockedOpens[GetCurrentThreadId()] = cancelled;
    }
    const bool wasCancelled = WaitForSingleObject(cancelled, delayMs) == WAIT_OBJECT_0;
    std::lock_guard<std::recursive_mutex> hold(lock);
    blockedOpens.erase(GetCurrentThreadId());
    CloseHandle(cancelled);
    return !wasCancelled;
}

}  // namespace

HANDLE WINAPI Double_CreateFileA(LPCSTR name, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD,
                                 HANDLE) {
    {
        std::lock_guard<std::recursive_mutex> hold(lock);
        openingThreads.insert(GetCurrentThreadId());
    }
    FakePort* port = PortNamed(name);
    if (port == nullptr) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    // Outside the lock: other opens go on meanwhile, as they do on Windows.
    const bool cancelled = port->openDelayMs != 0 && !BlockInOpen(port->openDelayMs);
    std::lock_guard<std::recursive_mutex> hold(lock);
    port->calls.push_back("CreateFileA");
    const DWORD error = cancelled ? ERROR_OPERATION_ABORTED : port->openError;
    if (error != 0) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    openPorts[handle] = port;
    ++port->opens;
    return handle;
}

BOOL WINAPI Double_CloseHandle(HANDLE handle) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    FakePort* port = OpenPortOf(handle);
    if (port != nullptr) {
        port->calls.push_back("CloseHandle");
        ++port->closes;
        openPorts.erase(handle);
    }
    return CloseHandle(handle);
}

BOOL WINAPI Double_GetCommState(HANDLE handle, LPDCB dcb) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    FakePort* port = CommPort(handle, "GetCommState");
    if (port == nullptr) {
        return FALSE;
    }
    *dcb = port->dcb;
    return TRUE;
}

BOOL WINAPI Double_SetCommState(HANDLE handle, LPDCB dcb) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    FakePort* port = CommPort(handle, "SetCommState");
    if (port == nullptr) {
        return FALSE;
    }
    // SetCommState (winbase.h): fails when XonChar equals XoffChar.
    if (dcb->XonChar == dcb->XoffChar) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const bool abortOnError =
        port->keepsAbortOnError ? port->dcb.fAbortOnError : dcb->fAbortOnError;
    port->dcb = *dcb;
    port->dcb.fAbortOnError = abortOnError;
    return TRUE;
}

BOOL WINAPI Double_GetCommTimeouts(HANDLE handle, LPCOMMTIMEOUTS timeouts) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    FakePort* port = CommPort(handle, nullptr);
    if (port == nullptr) {
        return FALSE;
    }
    *timeouts = port->timeouts;
    return TRUE;
}

BOOL WINAPI Double_SetCommTimeouts(HANDLE handle, LPCOMMTIMEOUTS timeouts) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    FakePort* port = CommPort(handle, nullptr);
    if (port == nullptr) {
        return FALSE;
    }
    port->timeouts = *timeouts;
    return TRUE;
}

// PurgeComm (winbase.h): PURGE_TXABORT and PURGE_RXABORT end every outstanding overlapped write
// or read at once, even where the driver has not completed it; the call fails on a removed device.
BOOL WINAPI Double_PurgeComm(HANDLE handle, DWORD flags) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    FakePort* port = CommPort(handle, "PurgeComm");
    if (port == nullptr) {
        return FALSE;
    }
    if (port->unplugged) {
        return Fail(ERROR_BAD_COMMAND);
    }
    for (bool writes : {false, true}) {
        if ((flags & (writes ? PURGE_TXABORT : PURGE_RXABORT)) != 0) {
            for (Transfer* transfer : Outstanding(handle, writes)) {
                Cancel(transfer);
            }
        }
    }
    return TRUE;
}

// ClearCommError (winbase.h): returns zero when it fails, as drivers do once the adapter has gone.
BOOL WINAPI Double_ClearCommError(HANDLE handle, LPDWORD errors, LPCOMSTAT status) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    FakePort* port = CommPort(handle, "ClearCommError");
    if (port == nullptr) {
        return FALSE;
    }
    if (port->unplugged) {
        return Fail(ERROR_BAD_COMMAND);
    }
    if (errors != nullptr) {
        *errors = port->lineErrorPending ? CE_FRAME : 0;
    }
    if (status != nullptr) {
        *status = COMSTAT{};
    }
    port->lineErrorPending = false;
    return TRUE;
}

// ReadFile (fileapi.h): an overlapped read may complete at once; COMMTIMEOUTS (winbase.h): with
// the read time-outs a driver keeps, it may complete with no byte.
BOOL WINAPI Double_ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read,
                            LPOVERLAPPED overlapped) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    if (file == kInput) {
        return ReadInput(static_cast<char*>(buffer), read);
    }
    FakePort* port = OpenPortOf(file);
    if (port == nullptr) {
        return ReadFile(file, buffer, size, read, overlapped);
    }
    port->calls.push_back("ReadFile");
    if (AbortsOnError(*port)) {
        return Fail(ERROR_OPERATION_ABORTED);
    }
    return StartRead(port, file, static_cast<std::uint8_t*>(buffer), overlapped);
}

// WriteFile (fileapi.h): an overlapped write may complete at once, and on a communications device
// with write time-outs it may end having moved fewer bytes than asked.
BOOL WINAPI Double_WriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written,
                             LPOVERLAPPED overlapped) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    FakePort* port = OpenPortOf(file);
    if (port == nullptr) {
        return WriteFile(file, buffer, size, written, overlapped);
    }
    port->calls.push_back("WriteFile");
    if (AbortsOnError(*port)) {
        return Fail(ERROR_OPERATION_ABORTED);
    }
    switch (port->write) {
        case WriteBehaviour::kFails:
            return Fail(port->writeError);
        case WriteBehaviour::kHeld:
            Start(file, overlapped, true);
            return Pending();
        case WriteBehaviour::kCompletes:
            Complete(Start(file, overlapped, true), size, 0);
            return Pending();
        case WriteBehaviour::kAtOnce:
        case WriteBehaviour::kPartlyAtOnce:
            break;
    }
    const bool whole = port->write == WriteBehaviour::kAtOnce;
    Complete(Start(file, overlapped, true), whole ? size : size / 2, 0);
    return TRUE;
}

// GetOverlappedResult (ioapiset.h): with bWait FALSE a transfer still going fails with
// ERROR_IO_INCOMPLETE; with TRUE the call does not return until the transfer has completed.
BOOL WINAPI Double_GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD count,
                                       BOOL wait) {
    std::unique_lock<std::recursive_mutex> hold(lock);
    FakePort* port = OpenPortOf(file);
    if (port == nullptr) {
        return GetOverlappedResult(file, overlapped, count, wait);
    }
    const DWORD started = GetTickCount();
    for (;;) {
        auto found = transfers.find(overlapped);
        if (found == transfers.end()) {
            return Fail(ERROR_INVALID_PARAMETER);
        }
        const Transfer& transfer = found->second;
        if (transfer.complete && !transfer.incomplete) {
            *count = transfer.count;
            return transfer.error == 0 ? TRUE : Fail(transfer.error);
        }
        if (!wait) {
            return Fail(ERROR_IO_INCOMPLETE);
        }
        if (GetTickCount() - started >= kUnendingWaitMs) {
            port->calls.push_back("GetOverlappedResult waits for ever");
            return Fail(ERROR_IO_INCOMPLETE);
        }
        hold.unlock();
        Sleep(1);
        hold.lock();
    }
}

// CancelIo (ioapiset.h): cancels only the I/O that the calling thread issued on the handle, and
// only asks the driver ("Canceling Pending I/O Operations": a driver may complete it later, or
// not at all).
BOOL WINAPI Double_CancelIo(HANDLE file) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    FakePort* port = OpenPortOf(file);
    if (port == nullptr) {
        return CancelIo(file);
    }
    port->calls.push_back("CancelIo");
    for (bool writes : {false, true}) {
        for (Transfer* transfer : Outstanding(file, writes)) {
            const bool leftPending = writes && port->cancelLeftPending;
            if (transfer->thread == GetCurrentThreadId() && !leftPending) {
                Cancel(transfer);
            }
        }
    }
    return TRUE;
}

// CancelSynchronousIo (ioapiset.h): fails with ERROR_NOT_FOUND when the thread has no synchronous
// I/O to cancel.
BOOL WINAPI Double_CancelSynchronousIo(HANDLE thread) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    auto found = blockedOpens.find(GetThreadId(thread));
    if (found == blockedOpens.end()) {
        return Fail(ERROR_NOT_FOUND);
    }
    SetEvent(found->second);
    return TRUE;
}

HANDLE WINAPI Double_GetStdHandle(DWORD which) {
    return which == STD_INPUT_HANDLE ? kInput : which == STD_OUTPUT_HANDLE ? kOutput : nullptr;
}

BOOL WINAPI Double_GetConsoleMode(HANDLE handle, LPDWORD mode) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    const bool isConsole = handle == kInput    ? console.inputIsConsole
                           : handle == kOutput ? console.outputIsConsole
                                               : false;
    if (!isConsole) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    *mode = 0;
    return TRUE;
}

UINT WINAPI Double_GetConsoleOutputCP() {
    std::lock_guard<std::recursive_mutex> hold(lock);
    return console.outputCodePage;
}

// --- The console's text -------------------------------------------------------------------

namespace {

ConsoleText text;

// MultiByteToWideChar: "CP_ACP: The system default Windows ANSI code page".
UINT CodePageOf(UINT codePage) {
    return codePage == CP_ACP ? text.ansiCodePage : codePage;
}

}  // namespace

void ResetText() {
    text = ConsoleText{};
}

ConsoleText* Text() {
    return &text;
}

// WriteConsoleW: "If the handle is not a console handle, the function fails" (it does not write
// to files); the text is UTF-16 whatever the console's output code page.
BOOL WINAPI Double_WriteConsoleW(HANDLE output, const VOID* wide, DWORD length, LPDWORD written,
                                 LPVOID) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    if (output != kOutput || !console.outputIsConsole) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    text.written.append(static_cast<const wchar_t*>(wide), length);
    text.writes.push_back(length);
    *written = length;
    return TRUE;
}

int WINAPI Double_MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH bytes, int length,
                                      LPWSTR wide, int wideLength) {
    return MultiByteToWideChar(CodePageOf(codePage), flags, bytes, length, wide, wideLength);
}

// FormatMessageW with FORMAT_MESSAGE_FROM_SYSTEM: the system's words in UTF-16, with the line end
// they come with; 0 and ERROR_MR_MID_NOT_FOUND for an error it has no words for.
DWORD WINAPI Double_FormatMessageW(DWORD, LPCVOID, DWORD error, DWORD, LPWSTR buffer, DWORD size,
                                   va_list*) {
    if (error != text.messageError || text.message.size() >= size) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    std::wcscpy(buffer, text.message.c_str());
    return static_cast<DWORD>(text.message.size());
}

}  // namespace kernel32_double
