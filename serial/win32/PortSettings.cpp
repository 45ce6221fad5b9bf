// The settings of an open port: its time-outs (saved, zeroed, restored), its line settings, and
// the purge of its buffers.
#include "NativeHandle.h"

namespace platform {

namespace {

constexpr BYTE kDataBits = 8;

}  // namespace

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
    return true;
}

bool RestorePortState(Handle port, const SavedPortState& saved) {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = saved.readIntervalTimeout;
    timeouts.ReadTotalTimeoutMultiplier = saved.readTotalTimeoutMultiplier;
    timeouts.ReadTotalTimeoutConstant = saved.readTotalTimeoutConstant;
    timeouts.WriteTotalTimeoutMultiplier = saved.writeTotalTimeoutMultiplier;
    timeouts.WriteTotalTimeoutConstant = saved.writeTotalTimeoutConstant;
    return SetCommTimeouts(ToNative(port), &timeouts) != FALSE;
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
    return SetCommState(ToNative(port), &settings) != FALSE;
}

void PurgePort(Handle port, Purge mode) {
    DWORD flags = PURGE_TXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
    if (mode == Purge::kAbortPendingReads) {
        flags |= PURGE_RXABORT;
    }
    PurgeComm(ToNative(port), flags);
}

}  // namespace platform
