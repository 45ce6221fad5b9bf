#include "PortFinding.h"

#include <cstring>

namespace {

constexpr char kFirstPrintable = ' ';
constexpr char kLastPrintable = '~';
constexpr char kUnprintable = '?';

// Device strings, driver names and process names come from whoever made the device or started
// the program: an escape sequence among them must not reach the terminal, so every text a finding
// keeps is cut to printable ASCII, as telvorn shows the device's own text.
void CopyPrintable(const char* text, char* into, std::size_t size) {
    if (size == 0) {
        return;
    }
    std::size_t used = 0;
    for (; text[used] != '\0' && used + 1 < size; ++used) {
        const char c = text[used];
        into[used] = c >= kFirstPrintable && c <= kLastPrintable ? c : kUnprintable;
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
