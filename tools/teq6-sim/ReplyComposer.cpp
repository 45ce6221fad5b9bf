#include "tools/teq6-sim/ReplyComposer.h"

#include <cstring>

#include "tools/teq6-sim/Wire.h"

namespace {

constexpr std::uint8_t kCarriageReturn = 0x0D;
constexpr std::uint8_t kLineFeed = 0x0A;
constexpr std::uint8_t kEscape = 0x1B;
constexpr std::uint8_t kBell = 0x07;
constexpr std::uint8_t kDelete = 0x7F;

// What a terminal-minded device might emit: line ends, a NUL, DEL, bytes above 0x7F (one of them
// the 8-bit CSI), "clear screen" and "red" escape sequences, and a bell.
constexpr std::uint8_t kControlBytes[] = {
    kCarriageReturn,
    kLineFeed,
    0x00,
    kDelete,
    0x80,
    0x9B,
    0xC3,
    0xA9,
    0xFF,
    kEscape,
    '[',
    '2',
    'J',
    kEscape,
    '[',
    '3',
    '1',
    'm',
    kBell,
    kCarriageReturn,
    kLineFeed,
};

// A NAK the program must not take for its next reply, an ACK it must not take either, and text
// it must not show.
constexpr std::uint8_t kStaleBytes[] = {wire::kNak, wire::kAck, 's', 't', 'a', 'l', 'e'};

constexpr char kFloodText[] = "TEQ6 diagnostic output 0123456789 ";
constexpr std::size_t kFloodTextLength = sizeof(kFloodText) - 1;

constexpr std::uint32_t kByteMask = 0xFF;

bool IsReplyByte(std::uint8_t byte) {
    return byte == wire::kAck || byte == wire::kNak;
}

}  // namespace

ReplyComposer::ReplyComposer(const SimOptions& options)
    : m_options(options),
      m_textLength(options.text == nullptr ? 0 : std::strlen(options.text)),
      m_random(options.seed) {}

std::size_t ReplyComposer::MaxLength() const {
    const std::size_t xoff = m_options.xoff ? sizeof(wire::kXoff) : 0;
    return sizeof(kControlBytes) + m_options.randomBytes + m_options.flood + m_textLength + xoff +
           1 + sizeof(kStaleBytes);
}

void ReplyComposer::ComposeReply(std::uint8_t reply, bool flood, bool staleTail,
                                 Transmission* out) {
    out->Clear();
    // The text first, so that it reads on the console just as given, with no printable pieces
    // of escape sequences or random bytes in front of it.
    if (m_textLength > 0) {
        out->Append(reinterpret_cast<const std::uint8_t*>(m_options.text), m_textLength);
    }
    if (m_options.xoff) {
        out->Append(&wire::kXoff, sizeof(wire::kXoff));
    }
    if (m_options.controlBytes) {
        out->Append(kControlBytes, sizeof(kControlBytes));
    }
    AppendRandomBytes(out);
    if (flood) {
        AppendFlood(out);
    }
    out->AppendReply(reply);
    if (staleTail) {
        out->Append(kStaleBytes, sizeof(kStaleBytes));
    }
}

void ReplyComposer::ComposeStale(Transmission* out) {
    out->Clear();
    out->Append(kStaleBytes, sizeof(kStaleBytes));
}

void ReplyComposer::AppendRandomBytes(Transmission* out) {
    for (std::uint32_t i = 0; i < m_options.randomBytes; ++i) {
        std::uint8_t byte = 0;
        do {
            byte = static_cast<std::uint8_t>(m_random() & kByteMask);
        } while (IsReplyByte(byte));
        out->AppendByte(byte);
    }
}

void ReplyComposer::AppendFlood(Transmission* out) const {
    for (std::uint32_t i = 0; i < m_options.flood; ++i) {
        out->AppendByte(static_cast<std::uint8_t>(kFloodText[i % kFloodTextLength]));
    }
}
