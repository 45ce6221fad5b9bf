// The serial port as the port, exchange and download logic needs it. Nothing here reports OS
// error codes: every operation answers with a handle, a bool or an outcome, and the callers turn
// that into result codes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "SavedPortState.h"  // from the chosen platform's folder
#include "platform/Handle.h"

namespace platform {

// Opens a port by its "\\.\COMn" name for exclusive overlapped use, as the port object does.
Handle OpenPort(const char* deviceName);

// Opens a port only to learn that it exists and is free; leaves no trace on its settings.
Handle ProbePort(const char* deviceName);

void ClosePort(Handle port);

// The device file that a port's name stands for, where it is not the name itself (POSIX); false
// where the name is all there is to say (Windows) or it stands for nothing.
bool DevicePathOf(const char* deviceName, char* path, std::size_t size);

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

}  // namespace platform
