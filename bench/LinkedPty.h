// A pseudo-terminal whose slave the program opens as a serial port: it is linked into the build's
// device folder under a ttyAMA name (ports 97 to 128), and the benchmark plays the device on the
// master.
#pragma once

#include <cstdint>
#include <string>

class LinkedPty {
  public:
    explicit LinkedPty(std::uint32_t portNumber);
    LinkedPty(const LinkedPty&) = delete;
    LinkedPty& operator=(const LinkedPty&) = delete;
    virtual ~LinkedPty();

    // False when the pseudo-terminal or its link could not be made.
    bool IsReady() const { return m_master >= 0 && m_linked; }
    int Master() const { return m_master; }

  private:
    int m_master = -1;
    bool m_linked = false;
    std::string m_linkPath;
};
