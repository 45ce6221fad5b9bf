// SIGINT and SIGTERM as readable events, so that the poll loop ends cleanly on them and a signal
// can never slip in between a check and a wait.
#pragma once

class StopSignals {
  public:
    StopSignals() = default;
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;
    virtual ~StopSignals();

    bool Install();
    int Fd() const { return m_fd; }
    // The signal that arrived, for the log.
    const char* Take();

  private:
    int m_fd = -1;
};
