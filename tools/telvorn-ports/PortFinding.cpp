#include "PortFinding.h"

#include <cstdio>
#include <cstring>

namespace {

template <std::size_t N>
void Copy(const char* text, char (&into)[N]) {
    std::snprintf(into, N, "%s", text);
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
    std::snprintf(m_state + used, sizeof m_state - used, "%s", text);
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
