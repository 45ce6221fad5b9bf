// The one object of a run: it owns the ports found at start-up and the blocks loaded from the
// file, remembers the chosen port number and baud rate, and drives the download.
#pragma once

#include <atomic>
#include <cstdint>

#include "config/DataBuffer.h"
#include "config/ResultCode.h"
#include "serial/SerialPortList.h"

class Downloader {
  public:
    // Scans the ports: this is when discovery runs, before any file is loaded.
    Downloader();
    Downloader(const Downloader&) = delete;
    Downloader& operator=(const Downloader&) = delete;
    virtual ~Downloader();

    ResultCode LoadFile(const char* path);
    ResultCode SetPort(std::uint32_t number);
    ResultCode SetBaudRate(std::uint32_t rate);
    ResultCode Download();
    // May be called from any thread; the download notices it between exchanges.
    void RaiseAbort() { m_abort.store(true); }

  private:
    bool AbortRaised() const { return m_abort.load(); }
    SerialPort* FindPort(std::uint32_t number) const;
    bool SendAllBlocks(SerialPort* port);
    bool SendWithRetries(SerialPort* port, std::uint32_t index);
    bool WaitForConnection(SerialPort* port);

    std::uint32_t m_baudRate = 0;
    std::uint32_t m_portNumber = 0;
    DataBuffer* m_data = nullptr;
    // Null when the list could not be created; then no port is ever found.
    SerialPortList* m_ports = nullptr;
    std::atomic<bool> m_abort{false};
};
