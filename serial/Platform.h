// The operating-system operations that the port, exchange and download logic needs. Everything
// above this header is written once; serial/win32/ and serial/posix/ each implement it, and the
// build picks one. Nothing here reports OS error codes, and only the console's operations print:
// every operation answers with a handle, a bool or an outcome, and the callers turn that into
// result codes.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "PlatformTypes.h"  // SavedPortState, from the chosen platform's folder

namespace platform {

// Ports, events and threads are all named by a Handle; kNoHandle stands in for one that does not
// exist (INVALID_HANDLE_VALUE on Windows, -1 on POSIX).
using Handle = std::intptr_t;
constexpr Handle kNoHandle = -1;

// --- Ports -----------------------------------------------------------------------------------

// Opens a port by its "\\.\COMn" name for exclusive overlapped use, as the port object does.
Handle OpenPort(const char* deviceName);

// Opens a port only to learn that it exists and is free; leaves no trace on its settings.
Handle ProbePort(const char* deviceName);

void ClosePort(Handle port);

// Probes many ports at once: isFree[i] tells whether names[i] could be opened exclusively just
// now, the probe closed again at once. A port whose open has not answered within the platform's
// limit counts as not free, so that an open that blocks (a Bluetooth port paging its device)
// cannot hold up start-up for long, however many such ports there are.
void ProbePorts(const char* const* names, std::uint32_t count, bool* isFree);

// Lets go of a port that is gone: nothing is put back, as there is nothing left to put it on.
void ReleaseGonePort(Handle port);

// Saves what ClosePort's caller must put back (the time-outs on Windows, the whole line state on
// POSIX), and restores it.
bool SavePortState(Handle port, SavedPortState* saved);
bool RestorePortState(Handle port, const SavedPortState& saved);

// Reads and writes then wait until they have moved every byte they were asked for.
bool SetZeroTimeouts(Handle port);

// 8 data bits, no parity, one stop bit at baudRate; every other line setting stays as it was.
bool SetLineSettings(Handle port, std::uint32_t baudRate);

enum class Purge {
    kKeepPendingReads,   // used on close
    kAbortPendingReads,  // used before each exchange
};
void PurgePort(Handle port, Purge mode);

enum class WriteOutcome {
    kWritten,  // every byte has left the port
    kHeld,     // flow control held the line past the limit; the write was abandoned
    kFailed,   // the write failed; nothing more can be said
    kGone,     // the port is gone (hang-up, adapter unplugged)
};

// Writes the whole message and returns once it has left the port, or once limitMs have passed
// without that (flow control holding the line), when it is abandoned and what it left queued is
// thrown away. writeEvent is a manual-reset event the caller created for this write.
WriteOutcome WriteMessage(Handle port, Handle writeEvent, const std::uint8_t* data,
                          std::uint32_t length, std::uint32_t limitMs);

enum class ReadOutcome {
    kByte,     // one byte was received into *byte
    kNothing,  // the read ended without a byte, or failed on a live port; try again
    kStopped,  // the stop event was signalled (or waiting failed) before a byte came
    kFailed,   // no read can succeed, though the port may still be there
    kGone,     // the port is gone (hang-up, adapter unplugged): no byte will ever come
};

// Reads one byte, or gives up when stopEvent is signalled. When both are ready the byte is taken.
// A pending read is cancelled before this returns, so nothing completes into *byte later.
// readEvent may be kNoHandle (a reader that could not make one): POSIX reads without it, Windows
// cannot and reports kFailed.
ReadOutcome ReadByte(Handle port, Handle readEvent, Handle stopEvent, std::uint8_t* byte);

// --- Events (manual reset, created not signalled) --------------------------------------------

Handle NewEvent();
void SignalEvent(Handle event);
void WaitForEvent(Handle event);  // without a time limit
bool IsSignalled(Handle event);   // without waiting
void CloseEvent(Handle event);

// --- Threads ---------------------------------------------------------------------------------

using ThreadBody = std::uint32_t (*)(void* argument);

Handle StartThread(ThreadBody body, void* argument);

enum class WaitOutcome { kEnded, kTimedOut, kFailed };
WaitOutcome WaitForThread(Handle thread, std::uint32_t timeoutMs);
void JoinThread(Handle thread);   // waits without a time limit
void CloseThread(Handle thread);  // after the thread has ended

void SleepMs(std::uint32_t milliseconds);

// Milliseconds on a clock that nobody can set, for measuring how long something took.
std::uint64_t NowMs();

// --- Console ---------------------------------------------------------------------------------

// First thing in main, before anything opens a file: a standard stream found closed gets the null
// device, so that a port is never handed descriptor 0, 1 or 2 and the console text never goes
// down the serial line (POSIX; Windows hands out no such numbers).
void KeepStandardStreamsOpen();

// Line buffering of standard output in the caller's buffer, which must outlive every print.
void BufferStandardOutput(char* buffer, std::size_t size);

// What a printed text is encoded in. Only Windows tells them apart: a console there is written in
// UTF-16, from the ANSI code page for the program's own text and the arguments it was given, from
// UTF-8 for the Unicode box characters and for what the system's wide calls said; into a file or
// a pipe, ANSI text goes as it is and UTF-8 text in the ANSI code page. POSIX writes both as they
// are.
enum class TextEncoding { kAnsi, kUtf8 };

// As vprintf into standard output, through the buffer above. Single calls do not interleave.
void PrintOutput(TextEncoding encoding, const char* format, std::va_list arguments);

// Writes out what is buffered.
void FlushOutput();

// Whether the C library writes out a line-buffered stream at each line end by itself. The Windows
// C runtime buffers such a stream fully, so there the caller flushes after each line.
bool WritesLinesAsTheyEnd();

// Keeps every other thread from printing or flushing from now until the process ends.
void LockStandardOutputForGood();

enum class BoxStyle {
    kCodePage437,  // the bytes DA C4 BF B3 C0 D9, in the ANSI encoding (that is, as they are)
    kUnicode,      // U+250C and its kin, in UTF-8
    kPlain,        // + - |
};

// How the banner's box can be drawn where standard output goes.
BoxStyle ConsoleBoxStyle();

// Reads one character from standard input without stdio buffering, waiting until one comes.
// False at the end of input.
bool ReadInputChar(char* character);

}  // namespace platform
