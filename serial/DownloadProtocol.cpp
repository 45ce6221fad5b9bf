// The messages of the download and how long each waits for its reply.
#include <cstdint>

#include "config/ConfigFile.h"
#include "serial/SerialPort.h"

namespace {

// The connect request is the file signature itself.
constexpr const std::uint8_t (&kConnectRequest)[kMarkerSize] = kFileMagic;
constexpr std::uint8_t kEndMessage[] = {0x00, 0x00, 0x00, 0xFF, 0x00, 0x00};

constexpr std::uint32_t kConnectTimeoutMs = 500;
constexpr std::uint32_t kBlockTimeoutMs = 10000;
constexpr std::uint32_t kEndTimeoutMs = 500;

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
