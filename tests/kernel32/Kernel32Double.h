// A scripted kernel32 for the driver states Wine never shows, force-included into a second build
// of the program; events, threads, waits stay real. Each rule names its learn.microsoft.com page.
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

// How one ReadFile call ends: at once with a byte or none, after pending with a byte or an error,
// failing at once, pending until cancelled, or signalled yet ERROR_IO_INCOMPLETE until cancelled
// (then with a byte, or none).
struct ReadStep {
    enum Kind { kByte, kNone, kLateByte, kLateFail, kFail, kPend, kIncompleteByte, kIncomplete };
    Kind kind;
    std::uint8_t byte = 0;
    DWORD error = 0;
};

// kPartlyAtOnce: half the bytes (the driver's write time-out); kHeld: until cancelled.
enum class WriteBehaviour { kCompletes, kAtOnce, kPartlyAtOnce, kHeld };
// What ends an abandoned transfer: CancelIo or an ABORT purge, only the purge, or nothing.
enum class Cancel { kEnds, kOnlyByPurge, kNever };

struct FakePort {
    std::string name;
    DWORD openError = 0, commStateError = 0, writeError = 0, clearCommErrorError = 0;
    DWORD openDelayMs = 0;       // unless the opening thread is cancelled
    DWORD busyAfterCloseMs = 0;  // the driver lets go of a closed handle this late
    DCB dcb{};
    COMMTIMEOUTS timeouts{};        // the port's own, kept across handles
    std::deque<ReadStep> reads;     // after these, reads pend until cancelled
    bool emptyReadsAtOnce = false;  // or, with this, end at once with no byte
    WriteBehaviour write = WriteBehaviour::kCompletes;
    Cancel cancel = Cancel::kEnds;
    bool unplugged = false;    // ClearCommError and PurgeComm fail; the name leaves
    bool nameUnknown = false;  // QueryDosDevice never knows the name, as Wine's may not
    DWORD queued = 0;          // bytes in the driver's output buffer that a held write left
    ULONGLONG busyUntil = 0;
    std::vector<std::string> calls;
    int opens = 0, closes = 0;
};

struct FakeConsole {
    static constexpr int kNoByte = -1;
    bool inputIsConsole = false, outputIsConsole = false;
    UINT outputCodePage = 437;
    std::deque<int> inputReads;  // one for each ReadFile; then the end of a pipe
    DWORD messageError = 0;      // FormatMessageW has words for this error only
    std::wstring message;
    std::wstring written;       // what reached WriteConsoleW
    std::vector<DWORD> writes;  // the length of each WriteConsoleW call
    UINT terminatedWith = ~0u;  // by TerminateProcess of this process
};

void Reset();  // no ports, both sides of the console pipes
FakePort* AddPort(const char* name);
FakePort* PortNamed(const char* name);
FakeConsole* Console();
std::size_t OpeningThreads();       // threads that called CreateFileA since the last Reset
PHANDLER_ROUTINE ControlHandler();  // the one added as the program starts; kept by Reset

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
