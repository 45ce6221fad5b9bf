// The ports found at start-up, in increasing port order. The list owns its ports and grows its
// array of pointers by a fixed step.
#pragma once

#include <cstdint>

#include "serial/SerialPort.h"

class SerialPortList {
  public:
    static constexpr std::uint32_t kGrowthStep = 4;

    SerialPortList() = default;
    SerialPortList(const SerialPortList&) = delete;
    SerialPortList& operator=(const SerialPortList&) = delete;
    virtual ~SerialPortList();

    // Takes ownership of port on success. A null port, or a failed growth, is refused.
    bool Add(SerialPort* port);
    SerialPort* At(std::uint32_t index) const;
    std::uint32_t Count() const { return m_count; }
    std::uint32_t Capacity() const { return m_capacity; }
    // Destroys every port; the array and its capacity remain.
    void Clear();

    // The first port with this number, or null.
    SerialPort* Find(std::uint32_t portNumber) const;

  private:
    bool Grow();

    std::uint32_t m_capacity = 0;
    std::uint32_t m_count = 0;
    SerialPort** m_ports = nullptr;
};
