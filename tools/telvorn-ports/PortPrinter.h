// How findings reach the user: one line per port in a listing, followed by each distinct hint
// once, or one port in detail.
#pragma once

#include <cstddef>

#include "PortFinding.h"

class PortPrinter {
  public:
    PortPrinter() = default;
    PortPrinter(const PortPrinter&) = delete;
    PortPrinter& operator=(const PortPrinter&) = delete;
    virtual ~PortPrinter() = default;

    // Before the first line: widens the device column to fit this device.
    void FitDevice(const char* device);
    void PrintLine(const PortFinding& finding);
    // After the last line: what the user can do, once for all the ports it applies to.
    void PrintHints() const;
    static void PrintDetail(const PortFinding& finding);
    std::size_t LinesPrinted() const { return m_lines; }

  private:
    // More distinct hints than this in one listing would be a wall of text; the details of each
    // port still show its own.
    static constexpr std::size_t kMostHints = 8;
    static constexpr int kDeviceWidth = 14;  // "/dev/ttyUSB31" and one space

    void RememberHint(const char* hint);

    char m_hints[kMostHints][PortFinding::kTextSize] = {};
    std::size_t m_hintCount = 0;
    std::size_t m_lines = 0;
    int m_deviceWidth = kDeviceWidth;
};
