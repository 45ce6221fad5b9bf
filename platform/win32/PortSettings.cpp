// The settings of an open port: its time-outs and line settings (saved, changed, and put back as
// they were found on every way out, as on Linux), and the purge of its buffers.
#include <cstring>

#include "HeldPorts.h"
#include "NativeHandle.h"
#include "platform/Port.h"

namespace platform {

namespace {

constexpr BYTE kDataBits = 8;
constexpr char kXon = 0x11;
constexpr char kXoff = 0x13;

// A driver keeps what the last program set, and a terminal program's defaults stall a binary
// exchange: XON/XOFF stops our writes at the first 0x13 the device sends, fAbortOnError fails
// every read and write after a line error, DSR sensitivity drops every byte on a cable without
// DSR, and fNull or an error character change the data. So the line is made binary and
// transparent, with DTR and RTS up for devices that wait for them, and CTS flow control kept as
// the port has it (as on Linux). RTS stays with a port that drives it as handshake or, on a
// half-duplex RS-485 adapter, as the transmitter's toggle.
void MakeTransparent(DCB* settings) {
    settings->fBinary = TRUE;
    settings->fParity = FALSE;
    settings->fOutX = FALSE;
    settings->fInX = FALSE;
    settings->fDsrSensitivity = FALSE;
    settings->fOutxDsrFlow = FALSE;
    settings->fNull = FALSE;
    settings->fErrorChar = FALSE;
    settings->fAbortOnError = FALSE;
    // SetCommState refuses equal characters, as some drivers report them (0 and 0), although
    // with XON/XOFF off they are never used.
    settings->XonChar = kXon;
    settings->XoffChar = kXoff;
    settings->fDtrControl = DTR_CONTROL_ENABLE;
    if (settings->fRtsControl != RTS_CONTROL_HANDSHAKE &&
        settings->fRtsControl != RTS_CONTROL_TOGGLE) {
        settings->fRtsControl = RTS_CONTROL_ENABLE;
    }
}

}  // namespace

// Both are put back on every way out (see HeldPorts.h): the next program that opens the port must
// not inherit zero time-outs, whose reads never return, nor our line settings.
bool SavePortState(Handle port, SavedPortState* saved) {
    COMMTIMEOUTS timeouts{};
    if (!GetCommTimeouts(ToNative(port), &timeouts)) {
        return false;
    }
    saved->readIntervalTimeout = timeouts.ReadIntervalTimeout;
    saved->readTotalTimeoutMultiplier = timeouts.ReadTotalTimeoutMultiplier;
    saved->readTotalTimeoutConstant = timeouts.ReadTotalTimeoutConstant;
    saved->writeTotalTimeoutMultiplier = timeouts.WriteTotalTimeoutMultiplier;
    saved->writeTotalTimeoutConstant = timeouts.WriteTotalTimeoutConstant;
    // A driver that will not report its DCB refuses the line settings too, and says so there.
    DCB settings{};
    settings.DCBlength = sizeof(settings);
    saved->hasLineSettings = GetCommState(ToNative(port), &settings) != FALSE;
    if (saved->hasLineSettings) {
        // Equal characters, as some drivers report them, would make SetCommState refuse the
        // whole DCB; with XON/XOFF off they are never used, and with it on they cannot be equal.
        if (settings.XonChar == settings.XoffChar) {
            settings.XonChar = kXon;
            settings.XoffChar = kXoff;
        }
        std::memcpy(saved->lineSettings, &settings, sizeof(settings));
    }
    win32::RememberPortState(ToNative(port), *saved);
    return true;
}

bool RestorePortState(Handle port, const SavedPortState& saved) {
    return win32::PutBackPortState(ToNative(port), saved);
}

bool SetZeroTimeouts(Handle port) {
    COMMTIMEOUTS timeouts{};
    return SetCommTimeouts(ToNative(port), &timeouts) != FALSE;
}

bool SetLineSettings(Handle port, std::uint32_t baudRate) {
    DCB settings{};
    settings.DCBlength = sizeof(settings);
    if (!GetCommState(ToNative(port), &settings)) {
        return false;
    }
    // Whether the driver accepts the rate is for SetCommState to say.
    settings.BaudRate = baudRate;
    settings.ByteSize = kDataBits;
    settings.Parity = NOPARITY;
    settings.StopBits = ONESTOPBIT;
    MakeTransparent(&settings);
    return SetCommState(ToNative(port), &settings) != FALSE;
}

// A line error (framing, overrun, a break) stays pending until it is cleared, and a driver that
// aborts on errors fails every transfer until then.
void PurgePort(Handle port, Purge mode) {
    DWORD flags = PURGE_TXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
    if (mode == Purge::kAbortPendingReads) {
        flags |= PURGE_RXABORT;
    }
    PurgeComm(ToNative(port), flags);
    DWORD errors = 0;
    ClearCommError(ToNative(port), &errors, nullptr);
}

}  // namespace platform
