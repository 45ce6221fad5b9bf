// One serial port, known by its number and its "\\.\COMn" name. While open it holds the port
// exclusively with its time-outs replaced, and it carries the download's messages, each as one
// acknowledged exchange.
#pragma once

#include <cstdint>

#include "config/DataBlock.h"
#include "platform/ComName.h"
#include "platform/Port.h"

class SerialPort {
  public:
    static constexpr std::uint32_t kMaxBaudRate = 2147483647;
    static constexpr std::uint8_t kAck = 0x06;
    static constexpr std::uint8_t kNak = 0x15;
    static constexpr std::uint8_t kNoReply = 0x00;
    SerialPort() = default;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;
    virtual ~SerialPort();

    // Closes the port first. 0 and numbers above 256 are refused and change nothing else.
    bool SetPortNumber(std::uint32_t number);
    bool Open();
    void Close();
    bool Configure(std::uint32_t baudRate);
    std::uint32_t PortNumber() const { return m_portNumber; }
    const char* DeviceName() const { return m_deviceName; }
    bool IsOpen() const { return m_handle != platform::kNoHandle; }

    // Sends a message and waits up to timeoutMs, counted from the end of the write, for ACK or
    // NAK; 0 when neither came. With announce, the reader tells the user that the device answered
    // and pauses before it ends.
    std::uint8_t Exchange(const std::uint8_t* message, std::uint32_t length,
                          std::uint32_t timeoutMs, bool announce);

    bool Connect();
    bool SendBlock(const DataBlock* block);
    bool Disconnect();

    // How the last exchange ended beyond its reply: whether flow control held its message back,
    // and whether the device has sent any byte at all so far.
    std::uint8_t LastReply() const { return m_reply; }
    bool LastWriteHeld() const { return m_writeHeld; }
    bool HeardAnything() const { return m_heardAnything; }

  private:
    static std::uint32_t ReplyReader(void* port);
    bool TakeReplyByte(std::uint8_t byte);
    // Opens the port again when the line lost it, at the rate it had.
    bool OpenConfigured();
    // An attempt that cannot reach the device lasts as long as a silent one, so that nothing
    // spins and the user's abort is seen between attempts as usual.
    std::uint8_t Unanswered(std::uint32_t timeoutMs);
    std::uint32_t WriteLimitMs(std::uint32_t length, std::uint32_t timeoutMs) const;
    static std::uint32_t RemainingMs(std::uint64_t sinceMs, std::uint32_t timeoutMs);
    void LetGoIfGone();

    platform::Handle m_handle = platform::kNoHandle;
    // The exchange in progress tells its reader to stop through this event.
    platform::Handle m_stopEvent = platform::kNoHandle;
    platform::SavedPortState m_savedTimeouts{};
    char m_deviceName[platform::kDeviceNameSize] = {};
    // Written by the reader, read by the exchange only after the reader has ended.
    std::uint8_t m_reply = kNoReply;
    bool m_announce = false;
    std::uint32_t m_portNumber = 0;
    // The rate of the last Configure, for opening the port again after the adapter was unplugged.
    std::uint32_t m_baudRate = 0;
    // Set by the exchange's reader or writer when the port is gone; the exchange then lets go of
    // the handle so that the adapter keeps its name when it comes back.
    bool m_gone = false;
    bool m_writeHeld = false;
    // Written by the readers, read between exchanges only.
    bool m_heardAnything = false;
};
