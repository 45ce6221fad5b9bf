// The TEQ6's judgement of each message, with the faults it was asked to play. It keeps no clock
// and touches no line: it only says how to answer.
//
// Blocks carry no number on the wire, so the device numbers them as it sees them: within a
// session (from an acknowledged connect request to the end message) the block arriving is number
// "blocks accepted in this session + 1", and every block that arrives while that number stands is
// another attempt at it. A block refused or left unanswered is therefore retried under the same
// number; a block that was accepted but whose ACK the program missed comes back as the next
// number, as it would on the real device.
#pragma once

#include <cstdint>

#include "config/DataBlock.h"
#include "tools/teq6-sim/SimCounters.h"
#include "tools/teq6-sim/SimOptions.h"

enum class Answer { kAck, kNak, kNone };

struct Verdict {
    Answer answer;
    // Why the device refused or kept quiet, for the log; null for a plain answer.
    const char* reason;
    // Close the line instead of answering.
    bool hangUp;
    // The connect request's count over the device's life, or the block's number in its session.
    std::uint32_t number;
    std::uint32_t attempt;
};

class DeviceModel {
  public:
    explicit DeviceModel(const SimOptions& options)
        : m_options(options), m_connected(options.startConnected) {}
    DeviceModel(const DeviceModel&) = delete;
    DeviceModel& operator=(const DeviceModel&) = delete;
    virtual ~DeviceModel() = default;

    Verdict OnConnectRequest();
    Verdict OnBlock(const DataBlock& block);
    Verdict OnEndMessage();
    void OnFramingError() { ++m_counters.framingErrors; }

    // Between an acknowledged connect request and the end message.
    bool IsConnected() const { return m_connected; }
    // The block arriving now is the one to hang up in.
    bool HangsUpInArrivingBlock() const;
    const SimCounters& Counters() const { return m_counters; }

  private:
    Verdict Judge(Answer answer, const char* reason, std::uint32_t number, std::uint32_t attempt);
    bool NaksByFault(std::uint32_t block, std::uint32_t attempt) const;
    void StartSession();
    void Accept();

    const SimOptions& m_options;
    SimCounters m_counters;
    std::uint32_t m_acceptedInSession = 0;
    std::uint32_t m_attempt = 0;
    bool m_connected;
    bool m_fallenSilent = false;
};
