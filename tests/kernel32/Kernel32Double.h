// A scripted double of the kernel32 calls of the Win32 port layer and the console, for driver
// states and completions that Windows drivers produce and Wine never shows. It is force-included
// into a second build of the program's sources; events, threads and waits stay real, and each
// fake port handle is a real manual-reset event. Every rule names its learn.microsoft.com page.
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

// How one ReadFile call on a fake port ends. An "incomplete" read is signalled but reports
// ERROR_IO_INCOMPLETE until cancelled, by when its byte, if any, has come.
struct ReadStep {
    enum Kind {
        kByteAtOnce,
        kNothingAtOnce,
        kPendingThenByte,
        kIncompleteThenByte,
        kIncompleteNoByte,
        kFails,
        kPendsThenFails,
        kPends,  // until cancelled
    };
    Kind kind;
    std::uint8_t byte = 0;
    DWORD error = 0;
};

// How every WriteFile call on a fake port ends, unless writeError fails it: kPartlyAtOnce moves
// half the bytes (a driver's own write time-out), kHeld pends until cancelled (flow control).
enum class WriteBehaviour { kCompletes, kAtOnce, kPartlyAtOnce, kHeld };

// What ends a pending transfer that the program gives up on: CancelIo or a purge with the ABORT
// flag, only the purge, or nothing (a driver whose cancel stays pending for ever).
enum class Cancel { kEnds, kOnlyByPurge, kNever };

struct FakePort {
    std::string name;
    DWORD openError = 0;    // CreateFileA fails with this when not 0
    DWORD openDelayMs = 0;  // CreateFileA blocks this long first, unless its thread is cancelled
    DWORD busyAfterCloseMs = 0;  // a closed handle keeps the port from a new open this long
    DWORD commStateError = 0;    // GetCommState and SetCommState fail with this when not 0
    DCB dcb{};
    COMMTIMEOUTS timeouts{};  // the port's own, kept across handles
    // Once these run out a read pends until cancelled, or completes at once with no byte.
    std::deque<ReadStep> reads;
    bool emptyReadsAtOnce = false;
    WriteBehaviour write = WriteBehaviour::kCompletes;
    DWORD writeError = 0;
    Cancel cancel = Cancel::kEnds;
    DWORD clearCommErrorError = 0;  // a live port's driver fails ClearCommError with this
    bool unplugged = false;    // the driver fails ClearCommError and PurgeComm; the name leaves
    bool nameUnknown = false;  // QueryDosDevice never knows the name, as Wine's may not
    ULONGLONG busyUntil = 0;
    std::vector<std::string> calls;
    int opens = 0;
    int closes = 0;
};

// Standard input and output, and the text Windows makes for them.
struct FakeConsole {
    static constexpr int kNoByte = -1;
    bool inputIsConsole = false;
    bool outputIsConsole = false;
    UINT outputCodePage = 437;
    // Each ReadFile on standard input takes one; once they run out, the end of a pipe.
    std::deque<int> inputReads;
    DWORD messageError = 0;  // FormatMessageW has words for this error only
    std::wstring message;
    std::wstring written;       // what reached WriteConsoleW
    std::vector<DWORD> writes;  // the length of each WriteConsoleW call
    static constexpr UINT kNotTerminated = 0xFFFFFFFF;
    UINT terminatedWith = kNotTerminated;  // TerminateProcess of this process
};

// A fresh script: no ports (names not added do not exist), both sides of the console pipes.
void Reset();
FakePort* AddPort(const char* name);
FakePort* PortNamed(const char* name);
FakeConsole* Console();
std::size_t OpeningThreads();  // threads that called CreateFileA since the last Reset
// The routine SetConsoleCtrlHandler last added, as the program starts; kept across a Reset.
PHANDLER_ROUTINE ControlHandler();

// The calls the program makes in place of kernel32's, each Double_<name> of its original's type.
// clang-format off
#define KERNEL32_DOUBLE_CALLS(X)                                                                \
    X(CreateFileA) X(CloseHandle) X(GetCommState) X(SetCommState) X(GetCommTimeouts)            \
    X(SetCommTimeouts) X(PurgeComm) X(ClearCommError) X(ReadFile) X(WriteFile)                  \
    X(GetOverlappedResult) X(CancelIo) X(CancelSynchronousIo) X(GetStdHandle) X(GetConsoleMode) \
    X(GetConsoleOutputCP) X(WriteConsoleW) X(MultiByteToWideChar) X(FormatMessageW)             \
    X(QueryDosDeviceA) X(SetConsoleCtrlHandler) X(TerminateProcess)
// clang-format on
#define KERNEL32_DOUBLE_DECLARE(name) decltype(::name) Double_##name;
KERNEL32_DOUBLE_CALLS(KERNEL32_DOUBLE_DECLARE)

}  // namespace kernel32_double

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
#define WriteConsoleW kernel32_double::Double_WriteConsoleW
#define MultiByteToWideChar kernel32_double::Double_MultiByteToWideChar
#define FormatMessageW kernel32_double::Double_FormatMessageW
#define QueryDosDeviceA kernel32_double::Double_QueryDosDeviceA
#define SetConsoleCtrlHandler kernel32_double::Double_SetConsoleCtrlHandler
#define TerminateProcess kernel32_double::Double_TerminateProcess
#endif
