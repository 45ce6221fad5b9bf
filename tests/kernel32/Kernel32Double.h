// A scripted double of the kernel32 calls that the Win32 port layer makes, for what Wine cannot
// show: driver states and completions that Windows drivers produce (a driver that keeps
// fAbortOnError, reads and writes that complete at once, ERROR_IO_INCOMPLETE, an unplugged
// adapter, a cancel left pending, an open that blocks), and the console around the program. It is
// force-included into a second build of the program's sources, so that their calls below land
// here; events, threads and waits stay real. Each fake port handle is a real manual-reset event.
// Every rule that Windows documents names the page it follows, on learn.microsoft.com.
#pragma once

#if !defined(NOMINMAX)
#define NOMINMAX
#endif
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace kernel32_double {

// How one ReadFile call on a fake port ends.
struct ReadStep {
    enum Kind {
        kByteAtOnce,          // completes at once with the byte
        kNothingAtOnce,       // completes at once with no byte
        kPendingThenByte,     // pends, and has the byte by the time anyone looks
        kIncompleteThenByte,  // signalled but reports ERROR_IO_INCOMPLETE; the byte comes by
                              // the time it is cancelled and waited for
        kIncompleteNoByte,    // as above, but nothing ever comes
        kFails,               // fails at once with error
        kPendsThenFails,      // pends, then fails with error
    };
    Kind kind;
    std::uint8_t byte;
    DWORD error;
};

// How every WriteFile call on a fake port ends.
enum class WriteBehaviour {
    kCompletes,     // pends, and has moved every byte by the time anyone looks
    kAtOnce,        // completes at once with every byte
    kPartlyAtOnce,  // completes at once with half the bytes (a driver's own write time-out)
    kHeld,          // pends until cancelled (flow control holding the line)
    kFails,         // fails at once with writeError
};

struct FakePort {
    std::string name;
    DWORD openError = 0;    // CreateFileA fails with this when not 0
    DWORD openDelayMs = 0;  // CreateFileA blocks this long first, unless its thread is cancelled
    DCB dcb{};
    COMMTIMEOUTS timeouts{};
    // A driver that ignores a change of fAbortOnError, and a line error waiting to be cleared:
    // with both, every transfer fails with ERROR_OPERATION_ABORTED until ClearCommError.
    bool keepsAbortOnError = false;
    bool lineErrorPending = false;
    // Read steps in order; once they run out, a read pends until it is cancelled, or with
    // emptyReadsAtOnce (a driver with read time-outs of its own) completes at once with no byte.
    std::deque<ReadStep> reads;
    bool emptyReadsAtOnce = false;
    WriteBehaviour write = WriteBehaviour::kCompletes;
    DWORD writeError = 0;
    // A driver that does not complete the cancel of a held write (while CTS stays low).
    bool cancelLeftPending = false;
    // The adapter has been unplugged: the driver fails ClearCommError and PurgeComm.
    bool unplugged = false;
    // What the program did.
    std::vector<std::string> calls;
    int opens = 0;
    int closes = 0;
};

// The console the program runs in: standard input and output are fake handles.
struct FakeConsole {
    static constexpr int kNoByte = -1;
    bool inputIsConsole = false;
    bool outputIsConsole = false;
    UINT outputCodePage = 437;
    // What each ReadFile on standard input returns in turn: one character, or kNoByte for a
    // read that succeeds with no byte. Once they run out, reads fail as at the end of a pipe.
    std::deque<int> inputReads;
    int inputReadCalls = 0;
};

// A fresh script: every port forgotten, the console back to a pipe on both sides. Ports named
// here exist; every other name does not.
void Reset();
FakePort* AddPort(const char* name);
FakePort* PortNamed(const char* name);
FakeConsole* Console();
// How many threads have called CreateFileA since the last Reset.
std::size_t OpeningThreads();
// A GetOverlappedResult told to wait, for a transfer that never ends, gives up after this long
// and records "GetOverlappedResult waits for ever" (on Windows it would not return).
constexpr DWORD kUnendingWaitMs = 3000;

// --- The calls the program makes, in place of kernel32's ----------------------------------
HANDLE WINAPI Double_CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES,
                                 DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL WINAPI Double_CloseHandle(HANDLE handle);
BOOL WINAPI Double_GetCommState(HANDLE port, LPDCB dcb);
BOOL WINAPI Double_SetCommState(HANDLE port, LPDCB dcb);
BOOL WINAPI Double_GetCommTimeouts(HANDLE port, LPCOMMTIMEOUTS timeouts);
BOOL WINAPI Double_SetCommTimeouts(HANDLE port, LPCOMMTIMEOUTS timeouts);
BOOL WINAPI Double_PurgeComm(HANDLE port, DWORD flags);
BOOL WINAPI Double_ClearCommError(HANDLE port, LPDWORD errors, LPCOMSTAT status);
BOOL WINAPI Double_ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read,
                            LPOVERLAPPED overlapped);
BOOL WINAPI Double_WriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written,
                             LPOVERLAPPED overlapped);
BOOL WINAPI Double_GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD count,
                                       BOOL wait);
BOOL WINAPI Double_CancelIo(HANDLE file);
BOOL WINAPI Double_CancelSynchronousIo(HANDLE thread);
HANDLE WINAPI Double_GetStdHandle(DWORD which);
BOOL WINAPI Double_GetConsoleMode(HANDLE handle, LPDWORD mode);
UINT WINAPI Double_GetConsoleOutputCP();

// --- The console's text -------------------------------------------------------------------
// What Windows makes of text for a console: the ANSI code page that CP_ACP names, the system's
// words for an error, and the UTF-16 text that reached the console.
struct ConsoleText {
    UINT ansiCodePage = 1252;
    DWORD messageError = 0;  // FormatMessageW has words for this error only
    std::wstring message;
    std::wstring written;
    std::vector<DWORD> writes;  // the length of each WriteConsoleW call
};

ConsoleText* Text();

BOOL WINAPI Double_WriteConsoleW(HANDLE output, const VOID* text, DWORD length, LPDWORD written,
                                 LPVOID reserved);
int WINAPI Double_MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH text, int length,
                                      LPWSTR wide, int wideLength);
DWORD WINAPI Double_FormatMessageW(DWORD flags, LPCVOID source, DWORD error, DWORD language,
                                   LPWSTR buffer, DWORD size, va_list* arguments);

}  // namespace kernel32_double

#if !defined(KERNEL32_DOUBLE_ITSELF)
#define WriteConsoleW kernel32_double::Double_WriteConsoleW
#define MultiByteToWideChar kernel32_double::Double_MultiByteToWideChar
#define FormatMessageW kernel32_double::Double_FormatMessageW
#endif

#if !defined(KERNEL32_DOUBLE_ITSELF)
#define CreateFileA kernel32_double::Double_CreateFileA
#define CloseHandle kernel32_double::Double_CloseHandle
#define GetCommState kernel32_double::Double_GetCommState
#define SetCommState kernel32_double::Double_SetCommState
#define GetCommTimeouts kernel32_double::Double_GetCommTimeouts
#define SetCommTimeouts kernel32_double::Double_SetCommTimeouts
#define PurgeComm kernel32_double::Double_PurgeComm
#define ClearCommError kernel32_double::Double_ClearCommError
#define ReadFile kernel32_double::Double_ReadFile
#define WriteFile kernel32_double::Double_WriteFile
#define GetOverlappedResult kernel32_double::Double_GetOverlappedResult
#define CancelIo kernel32_double::Double_CancelIo
#define CancelSynchronousIo kernel32_double::Double_CancelSynchronousIo
#define GetStdHandle kernel32_double::Double_GetStdHandle
#define GetConsoleMode kernel32_double::Double_GetConsoleMode
#define GetConsoleOutputCP kernel32_double::Double_GetConsoleOutputCP
#endif
