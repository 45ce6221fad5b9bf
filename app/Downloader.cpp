#include "app/Downloader.h"

#include <new>

#include "config/ConfigFile.h"
#include "serial/EnumeratePorts.h"

Downloader::Downloader() : m_ports(EnumeratePorts()) {}

Downloader::~Downloader() {
    delete m_ports;
    delete m_data;
}

ResultCode Downloader::LoadFile(const char* path) {
    if (path == nullptr) {
        return InvalidFilename;
    }
    if (m_data == nullptr) {
        m_data = new (std::nothrow) DataBuffer;
        if (m_data == nullptr) {
            return OutOfMemory;
        }
    }
    return ReadConfigFile(path, m_data);
}

SerialPort* Downloader::FindPort(std::uint32_t number) const {
    return m_ports != nullptr ? m_ports->Find(number) : nullptr;
}

ResultCode Downloader::SetPort(std::uint32_t number) {
    if (FindPort(number) == nullptr) {
        return InvalidPort;
    }
    m_portNumber = number;
    return Success;
}

ResultCode Downloader::SetBaudRate(std::uint32_t rate) {
    if (rate == 0) {
        return InvalidBaudRate;
    }
    m_baudRate = rate;
    return Success;
}
