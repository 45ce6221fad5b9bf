// A pseudo-terminal whose slave stands in for a serial port: it is linked into the test device
// folder under the name of port 97-128 (ttyAMA0-31), and the test plays the device on the master.
#pragma once

#include <cstdint>
#include <string>

class LinkedTerminal {
  public:
    static constexpr std::uint32_t kFirstPort = 97;
    static constexpr std::uint32_t kLastPort = 128;

    explicit LinkedTerminal(std::uint32_t portNumber);
    LinkedTerminal(const LinkedTerminal&) = delete;
    LinkedTerminal& operator=(const LinkedTerminal&) = delete;
    virtual ~LinkedTerminal();

    // False when the pseudo-terminal or its link could not be made.
    bool IsReady() const { return m_master >= 0 && m_linked; }
    int Master() const { return m_master; }
    // "\\.\COMn", as the port object names the port.
    const char* DeviceName() const { return m_deviceName.c_str(); }
    // Another open file description of the slave, as a second program would have.
    int OpenSlave() const;
    // Hangs the line up, as an unplugged device would.
    void CloseMaster();

    // The link that port number would have in the test device folder, and that folder.
    static std::string LinkPathFor(std::uint32_t portNumber);
    static bool MakeDeviceFolder();

  private:
    int m_master = -1;
    bool m_linked = false;
    std::string m_slavePath;
    std::string m_linkPath;
    std::string m_deviceName;
};
