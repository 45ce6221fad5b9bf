// The device at work: reads the line, cuts the bytes into messages, lets the device model judge
// them, and sends the answers when they are due, in one poll loop that sleeps whenever there is
// nothing to do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "tools/teq6-sim/BlockRecorder.h"
#include "tools/teq6-sim/DeviceModel.h"
#include "tools/teq6-sim/MessageFramer.h"
#include "tools/teq6-sim/ReadPacer.h"
#include "tools/teq6-sim/ReplyComposer.h"
#include "tools/teq6-sim/ReplySchedule.h"
#include "tools/teq6-sim/SimLine.h"
#include "tools/teq6-sim/SimOptions.h"
#include "tools/teq6-sim/StopSignals.h"
#include "tools/teq6-sim/Transmission.h"

class Simulator {
  public:
    explicit Simulator(const SimOptions& options);
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;
    virtual ~Simulator() = default;

    // Opens everything and announces the line on standard output; false after saying why.
    bool Start();
    // Serves the line until the end message, a hang-up, a lost line or a stop signal, prints the
    // summary, and gives the exit status.
    int Run();

  private:
    enum class State { kServing, kDraining, kDone };

    void Step();
    int PollTimeout(std::uint64_t nowMs, std::size_t allowance) const;
    void ServeLine(short events, std::size_t allowance);
    void StartDueAnswer(std::uint64_t nowMs);
    bool IsDrained(std::uint64_t nowMs);
    void WriteSome();
    void ReadSome(std::size_t allowance);
    void TakeByte(std::uint8_t byte);
    void CheckIdleGap(std::uint64_t nowMs);
    bool InputWaiting() const;

    void Handle(FrameEvent event);
    void OnConnectRequest();
    void OnBlock();
    void OnEndMessage();
    void Schedule(std::uint8_t reply, bool flood, bool staleTail);
    void ScheduleStale();
    void Enqueue(const ScheduledAnswer& answer);

    void HoldOutputBefore(std::uint32_t next);
    void ResumeOutputWhenDue(std::uint64_t nowMs);
    void HangUp();
    // error: an errno value, or 0.
    void LoseLine(const char* what, int error);
    void Log(const char* format, ...) const
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;

    const SimOptions& m_options;
    SimLine m_line;
    MessageFramer m_framer;
    DeviceModel m_model;
    ReplyComposer m_composer;
    Transmission m_out;
    ReplySchedule m_schedule;
    ReadPacer m_pacer;
    BlockRecorder m_recorder;
    StopSignals m_signals;
    State m_state = State::kServing;
    int m_status = EXIT_SUCCESS;
    std::uint64_t m_lastByteMs = 0;
    std::uint64_t m_drainDeadlineMs = 0;
    std::uint64_t m_resumeOutputAtMs = 0;  // 0: nothing to resume
    // When everything due had been written, once draining; 0 before.
    std::uint64_t m_allSentMs = 0;
};
