#include "PortFinding.h"

#include <cstdint>
#include <cstring>

#include "platform/Console.h"

namespace {

constexpr std::uint32_t kFirstPrintableAboveAscii = 0xA0;  // after the C1 controls
constexpr char kUnprintable = '?';

// UTF-8: every byte after a sequence's first is 10xxxxxx and carries 6 bits.
constexpr unsigned char kFirstNonAscii = 0x80;
constexpr unsigned char kContinuationMask = 0xC0;
constexpr unsigned char kContinuation = 0x80;
constexpr unsigned char kContinuationBits = 0x3F;
constexpr int kBitsPerContinuation = 6;
constexpr std::uint32_t kFirstSurrogate = 0xD800;
constexpr std::uint32_t kLastSurrogate = 0xDFFF;
constexpr std::uint32_t kLastCodePoint = 0x10FFFF;

// The length of the UTF-8 sequence at text and its code point; 0 when the bytes there are not
// one (a stray continuation byte, a cut or overlong sequence, a surrogate).
std::size_t DecodeUtf8(const unsigned char* text, std::uint32_t* codePoint) {
    struct Form {
        unsigned char leadMask, lead;
        std::size_t length;
        std::uint32_t smallest;
    };
    static constexpr Form kForms[] = {
        {0xE0, 0xC0, 2, 0x80}, {0xF0, 0xE0, 3, 0x800}, {0xF8, 0xF0, 4, 0x10000}};
    for (const Form& form : kForms) {
        if ((text[0] & form.leadMask) != form.lead) {
            continue;
        }
        std::uint32_t value = text[0] & static_cast<unsigned char>(~form.leadMask);
        for (std::size_t i = 1; i < form.length; ++i) {
            if ((text[i] & kContinuationMask) != kContinuation) {
                return 0;
            }
            value = value << kBitsPerContinuation | (text[i] & kContinuationBits);
        }
        const bool surrogate = value >= kFirstSurrogate && value <= kLastSurrogate;
        if (value < form.smallest || value > kLastCodePoint || surrogate) {
            return 0;
        }
        *codePoint = value;
        return form.length;
    }
    return 0;
}

// Device strings, driver names, process names and the system's texts come from whoever made the
// device, started the program or translated the system: an escape sequence among them must not
// reach the terminal, so every text a finding keeps is cut to printable characters (ASCII as
// telvorn shows the device's own text, and whole UTF-8 characters other than controls, for names
// and texts in the user's language); every other byte is shown as '?'.
void CopyPrintable(const char* text, char* into, std::size_t size) {
    if (size == 0) {
        return;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    std::size_t read = 0;
    std::size_t used = 0;
    while (bytes[read] != '\0' && used + 1 < size) {
        std::uint32_t codePoint = 0;
        const std::size_t length =
            bytes[read] < kFirstNonAscii ? 0 : DecodeUtf8(bytes + read, &codePoint);
        if (length > 0 && codePoint >= kFirstPrintableAboveAscii) {
            if (used + length >= size) {
                break;  // never half a character
            }
            std::memcpy(into + used, text + read, length);
            used += length;
            read += length;
            continue;
        }
        const unsigned char c = bytes[read++];
        into[used++] = console::IsPrintable(c) ? static_cast<char>(c) : kUnprintable;
    }
    into[used] = '\0';
}

template <std::size_t N>
void Copy(const char* text, char (&into)[N]) {
    CopyPrintable(text, into, N);
}

}  // namespace

void PortFinding::SetDevice(const char* device) {
    Copy(device, m_device);
}

void PortFinding::SetState(const char* state) {
    Copy(state, m_state);
}

void PortFinding::AppendToState(const char* text) {
    const std::size_t used = std::strlen(m_state);
    CopyPrintable(text, m_state + used, sizeof m_state - used);
}

void PortFinding::SetHint(const char* hint) {
    Copy(hint, m_hint);
}

void PortFinding::AddFact(const char* label, FactStyle style, const char* value) {
    if (m_factCount == kMostFacts || value[0] == '\0') {
        return;
    }
    Fact& fact = m_facts[m_factCount++];
    fact.label = label;
    fact.style = style;
    Copy(value, fact.value);
}
