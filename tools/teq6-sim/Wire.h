// The bytes on the line as the device sees them: the program's three messages and the device's
// two one-byte replies. Written here again on purpose, apart from the program's own, so that the
// simulator is an independent witness of what goes over the wire.
#pragma once

#include <cstddef>
#include <cstdint>

#include "config/ConfigFile.h"

namespace wire {

constexpr std::uint8_t kAck = 0x06;
// Stops a terminal's output when software flow control is on.
constexpr std::uint8_t kXoff = 0x13;
constexpr std::uint8_t kNak = 0x15;

// The connect request is the configuration file's signature.
constexpr std::size_t kConnectRequestSize = kMarkerSize;
constexpr const std::uint8_t* kConnectRequest = kFileMagic;

constexpr std::size_t kEndMessageSize = 6;
constexpr std::uint8_t kEndMessage[kEndMessageSize] = {0x00, 0x00, 0x00, 0xFF, 0x00, 0x00};

}  // namespace wire
