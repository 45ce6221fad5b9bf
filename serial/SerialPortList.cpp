#include "serial/SerialPortList.h"

#include <new>

SerialPortList::~SerialPortList() {
    Clear();
    delete[] m_ports;
}

bool SerialPortList::Grow() {
    SerialPort** grown = new (std::nothrow) SerialPort*[m_capacity + kGrowthStep];
    if (grown == nullptr) {
        return false;
    }
    for (std::uint32_t i = 0; i < m_capacity + kGrowthStep; ++i) {
        grown[i] = i < m_count ? m_ports[i] : nullptr;
    }
    delete[] m_ports;
    m_ports = grown;
    m_capacity += kGrowthStep;
    return true;
}

bool SerialPortList::Add(SerialPort* port) {
    if (port == nullptr) {
        return false;
    }
    if (m_count == m_capacity && !Grow()) {
        return false;
    }
    m_ports[m_count] = port;
    ++m_count;
    return true;
}

SerialPort* SerialPortList::At(std::uint32_t index) const {
    return index < m_count ? m_ports[index] : nullptr;
}

void SerialPortList::Clear() {
    for (std::uint32_t i = 0; i < m_count; ++i) {
        delete m_ports[i];
        m_ports[i] = nullptr;
    }
    m_count = 0;
}

SerialPort* SerialPortList::Find(std::uint32_t portNumber) const {
    for (std::uint32_t i = 0; i < m_count; ++i) {
        if (m_ports[i] != nullptr && m_ports[i]->PortNumber() == portNumber) {
            return m_ports[i];
        }
    }
    return nullptr;
}
