#include "PortPrinter.h"

#include <cstdio>
#include <cstring>

#include "platform/Console.h"
#include "platform/StandardStreams.h"

namespace {

// The findings' texts: UTF-8 on Windows, as the tool reads them through the system's wide calls.
constexpr platform::TextEncoding kUtf8 = platform::TextEncoding::kUtf8;

constexpr int kNumberWidth = 6;  // "COM128"
constexpr int kLabelWidth = 14;  // "manufacturer:" and one space
constexpr std::size_t kNumberSize = 16;

void FormatNumber(const PortFinding& finding, char (&text)[kNumberSize]) {
    if (finding.Number() == PortFinding::kNoNumber) {
        std::snprintf(text, kNumberSize, "-");
    } else {
        std::snprintf(text, kNumberSize, "COM%u", static_cast<unsigned>(finding.Number()));
    }
}

void PrintFactsInLine(const PortFinding& finding) {
    for (std::size_t i = 0; i < finding.FactCount(); ++i) {
        console::PrintEncoded(kUtf8, "%s", i == 0 ? "  [" : ", ");
        if (finding.IsLabelledInLine(i)) {
            console::PrintEncoded(kUtf8, "%s ", finding.FactLabel(i));
        }
        console::PrintEncoded(kUtf8, "%s", finding.FactValue(i));
    }
    if (finding.FactCount() > 0) {
        console::PrintEncoded(kUtf8, "]");
    }
}

void PrintField(const char* label, const char* value) {
    char labelText[PortFinding::kTextSize];
    std::snprintf(labelText, sizeof labelText, "%s:", label);
    console::PrintEncoded(kUtf8, "  %-*s%s\n", kLabelWidth, labelText, value);
}

}  // namespace

void PortPrinter::PrintLine(const PortFinding& finding) {
    char number[kNumberSize];
    FormatNumber(finding, number);
    console::PrintEncoded(kUtf8, "%-*s  %-*s  %s", kNumberWidth, number, m_deviceWidth,
                          finding.Device(), finding.State());
    PrintFactsInLine(finding);
    console::PrintEncoded(kUtf8, "\n");
    RememberHint(finding.Hint());
    ++m_lines;
}

void PortPrinter::FitDevice(const char* device) {
    const std::size_t width = std::strlen(device) + 1;
    if (width > static_cast<std::size_t>(m_deviceWidth)) {
        m_deviceWidth = static_cast<int>(width);
    }
}

void PortPrinter::PrintHints() const {
    for (std::size_t i = 0; i < m_hintCount; ++i) {
        console::PrintEncoded(kUtf8, "%s\n", m_hints[i]);
    }
}

void PortPrinter::PrintDetail(const PortFinding& finding) {
    char number[kNumberSize];
    FormatNumber(finding, number);
    if (finding.Number() == PortFinding::kNoNumber) {
        console::PrintEncoded(kUtf8, "%s (no COM number)\n", finding.Device());
    } else {
        console::PrintEncoded(kUtf8, "%s: %s\n", number, finding.Device());
    }
    PrintField("state", finding.State());
    for (std::size_t i = 0; i < finding.FactCount(); ++i) {
        PrintField(finding.FactLabel(i), finding.FactValue(i));
    }
    if (finding.Hint()[0] != '\0') {
        console::PrintEncoded(kUtf8, "%s\n", finding.Hint());
    }
}

void PortPrinter::RememberHint(const char* hint) {
    if (hint[0] == '\0' || m_hintCount == kMostHints) {
        return;
    }
    for (std::size_t i = 0; i < m_hintCount; ++i) {
        if (std::strcmp(m_hints[i], hint) == 0) {
            return;
        }
    }
    std::snprintf(m_hints[m_hintCount++], PortFinding::kTextSize, "%s", hint);
}
