// A device that answers ACK the moment a whole block has arrived, so that an exchange costs only
// what the program and the line add, never a device's own thinking time.
#pragma once

#include <atomic>
#include <thread>

class AnsweringDevice {
  public:
    // line: the device's end of the link (a pseudo-terminal master or a relay's far end).
    explicit AnsweringDevice(int line);
    AnsweringDevice(const AnsweringDevice&) = delete;
    AnsweringDevice& operator=(const AnsweringDevice&) = delete;
    virtual ~AnsweringDevice();

  private:
    void Run();
    // False when asked to stop or when the line is gone.
    bool TakeBlock();

    int m_line;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
