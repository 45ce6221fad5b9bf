#include "serial/SerialPort.h"

#include "platform/Port.h"

SerialPort::~SerialPort() {
    Close();
}

bool SerialPort::SetPortNumber(std::uint32_t number) {
    Close();
    if (number == 0 || number > platform::kMaxPortNumber) {
        return false;
    }
    m_portNumber = number;
    platform::FormatDeviceName(number, m_deviceName);
    return true;
}

bool SerialPort::Open() {
    if (IsOpen()) {
        return true;
    }
    platform::Handle handle = platform::OpenPort(m_deviceName);
    if (handle == platform::kNoHandle) {
        return false;
    }
    if (!platform::SavePortState(handle, &m_savedTimeouts)) {
        // Nothing was changed yet, so there is nothing to put back.
        platform::ClosePort(handle);
        return false;
    }
    m_handle = handle;
    if (!platform::SetZeroTimeouts(m_handle)) {
        Close();
        return false;
    }
    return true;
}

void SerialPort::Close() {
    if (!IsOpen()) {
        return;
    }
    platform::PurgePort(m_handle, platform::Purge::kKeepPendingReads);
    platform::RestorePortState(m_handle, m_savedTimeouts);
    platform::ClosePort(m_handle);
    m_handle = platform::kNoHandle;
}

bool SerialPort::Configure(std::uint32_t baudRate) {
    // Above the signed 32-bit range lie only negative numbers from the command line; some
    // drivers (Wine's among them) would quietly run such a port at another rate.
    if (baudRate == 0 || baudRate > kMaxBaudRate) {
        return false;
    }
    if (!Open()) {
        return false;
    }
    m_baudRate = baudRate;
    return platform::SetLineSettings(m_handle, baudRate);
}

bool SerialPort::OpenConfigured() {
    if (IsOpen()) {
        return true;
    }
    if (!Open()) {
        return false;
    }
    if (m_baudRate != 0 && !platform::SetLineSettings(m_handle, m_baudRate)) {
        Close();
        return false;
    }
    return true;
}

void SerialPort::LetGoIfGone() {
    if (!m_gone) {
        return;
    }
    m_gone = false;
    platform::ReleaseGonePort(m_handle);
    m_handle = platform::kNoHandle;
}
