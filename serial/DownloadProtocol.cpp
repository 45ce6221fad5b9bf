// The download: a connect handshake repeated until the device answers, every stored block with
// up to ten attempts, then the end message. The user's abort is honoured between exchanges,
// never in the middle of one.
#include <cstdint>

#include "app/Console.h"
#include "app/Downloader.h"
#include "serial/SerialPort.h"

namespace {

// The connect request is the same four bytes as the file signature.
constexpr std::uint8_t kConnectRequest[] = {0x03, 0x12, 0x00, 0xFF};
constexpr std::uint8_t kEndMessage[] = {0x00, 0x00, 0x00, 0xFF, 0x00, 0x00};

constexpr std::uint32_t kConnectTimeoutMs = 500;
constexpr std::uint32_t kBlockTimeoutMs = 10000;
constexpr std::uint32_t kEndTimeoutMs = 500;
constexpr std::uint32_t kAttemptsPerBlock = 10;

}  // namespace

bool SerialPort::Connect() {
    return Exchange(kConnectRequest, sizeof(kConnectRequest), kConnectTimeoutMs, true) == kAck;
}

bool SerialPort::SendBlock(const DataBlock* block) {
    if (!IsValid(block)) {
        return false;
    }
    return Exchange(block->bytes, kBlockSize, kBlockTimeoutMs, false) == kAck;
}

bool SerialPort::Disconnect() {
    // The device has every block by now; whatever it answers changes nothing.
    Exchange(kEndMessage, sizeof(kEndMessage), kEndTimeoutMs, false);
    return true;
}

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
