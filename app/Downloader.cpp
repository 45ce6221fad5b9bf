#include "app/Downloader.h"

#include <cstdint>
#include <new>

#include "config/ConfigFile.h"
#include "platform/Console.h"
#include "serial/EnumeratePorts.h"

namespace {

constexpr std::uint32_t kAttemptsPerBlock = 10;

}  // namespace

Downloader::Downloader() : m_ports(EnumeratePorts()) {}

Downloader::~Downloader() {
    delete m_ports;
    delete m_data;
}

ResultCode Downloader::LoadFile(const char* path) {
    if (path == nullptr) {
        return InvalidFilename;
    }
    if (m_data == nullptr) {
        m_data = new (std::nothrow) DataBuffer;
        if (m_data == nullptr) {
            return OutOfMemory;
        }
    }
    return ReadConfigFile(path, m_data);
}

SerialPort* Downloader::FindPort(std::uint32_t number) const {
    return m_ports != nullptr ? m_ports->Find(number) : nullptr;
}

ResultCode Downloader::SetPort(std::uint32_t number) {
    if (FindPort(number) == nullptr) {
        return InvalidPort;
    }
    m_portNumber = number;
    return Success;
}

ResultCode Downloader::SetBaudRate(std::uint32_t rate) {
    if (rate == 0) {
        return InvalidBaudRate;
    }
    m_baudRate = rate;
    return Success;
}

// The download: a connect handshake repeated until the device answers, every stored block with
// up to ten attempts, then the end message. The user's abort is honoured between exchanges,
// never in the middle of one.
bool Downloader::SendWithRetries(SerialPort* port, std::uint32_t index) {
    for (std::uint32_t attempt = 1; attempt <= kAttemptsPerBlock; ++attempt) {
        if (AbortRaised()) {
            return false;
        }
        console::Print("\nWriting block %d of %d, attempt %d: ", static_cast<int>(index + 1),
                       static_cast<int>(m_data->Count()), static_cast<int>(attempt));
        if (port->SendBlock(m_data->At(index))) {
            return true;
        }
    }
    return false;
}

bool Downloader::SendAllBlocks(SerialPort* port) {
    const std::uint32_t count = m_data != nullptr ? m_data->Count() : 0;
    for (std::uint32_t index = 0; index < count; ++index) {
        if (AbortRaised() || !SendWithRetries(port, index)) {
            return false;
        }
    }
    return true;
}

ResultCode Downloader::Download() {
    SerialPort* port = FindPort(m_portNumber);
    if (port == nullptr) {
        return InvalidPort;
    }
    if (!port->Open()) {
        return CannotOpenPort;
    }
    if (!port->Configure(m_baudRate)) {
        return InvalidBaudRate;
    }
    console::Print("Waiting for connection\n");
    bool connected = false;
    while (!connected && !AbortRaised()) {
        connected = port->Connect();
    }
    if (AbortRaised()) {
        return CannotConnect;
    }
    if (!SendAllBlocks(port) || AbortRaised()) {
        return CannotSend;
    }
    port->Disconnect();
    // The port stays open and configured; the process ends with it.
    return Success;
}
