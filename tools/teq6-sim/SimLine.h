// The device's end of the serial line: the master side of a pseudo-terminal whose slave the
// program opens as its port, or a real serial device. The simulator keeps a slave descriptor of
// its own for as long as the line is up, so the program closing and reopening its port is no
// hang-up; closing the line is.
#pragma once

#include <termios.h>

#include <climits>
#include <cstddef>
#include <cstdint>

class SimLine {
  public:
    SimLine() = default;
    SimLine(const SimLine&) = delete;
    SimLine& operator=(const SimLine&) = delete;
    virtual ~SimLine();

    // With linkPath, also makes linkPath a symbolic link to the slave, replacing an earlier link
    // (never any other kind of file); it is removed again when the line closes.
    bool OpenPseudoTerminal(const char* linkPath);
    // Raw 8N1 at a standard rate.
    bool OpenDevice(const char* path, std::uint32_t baudRate);
    // Hangs up: the program's reads fail from now on.
    void Close();

    bool IsOpen() const { return m_fd >= 0; }
    // Non-blocking; read and written by the simulator.
    int Fd() const { return m_fd; }
    // The path the program opens.
    const char* Name() const { return m_name; }
    // What another program may leave on the port before telvorn opens it: VMIN=4 VTIME=0, and
    // software flow control. Pseudo-terminal only.
    bool LeavePeerState(bool minFour, bool softwareFlowControl);
    // Stops or restarts the port's output, as flow control would. Pseudo-terminal only.
    bool HoldPeerOutput(bool hold);
    // Bytes the simulator wrote that the other end has not taken yet.
    std::size_t UnreadByPeer() const;

  private:
    static constexpr std::size_t kPathSize = PATH_MAX;

    bool OpenSlave();
    bool MakeLink(const char* linkPath);
    void RemoveLink();

    int m_fd = -1;
    int m_slaveFd = -1;
    bool m_restoreDevice = false;
    struct termios m_savedDevice {};
    char m_name[kPathSize] = {};
    char m_link[kPathSize] = {};
};
