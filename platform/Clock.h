// Time as the program and its tools measure it: a clock that nobody can set, and sleeping.
#pragma once

#include <cstdint>

namespace platform {

void SleepMs(std::uint32_t milliseconds);

// Milliseconds on a clock that nobody can set, for measuring how long something took.
std::uint64_t NowMs();

// A point a fixed time from its making, for waits that are spent in several steps.
class Deadline {
  public:
    explicit Deadline(std::uint32_t limitMs) : m_endMs(NowMs() + limitMs) {}
    std::uint32_t RemainingMs() const {
        const std::uint64_t now = NowMs();
        return now >= m_endMs ? 0 : static_cast<std::uint32_t>(m_endMs - now);
    }
    bool Passed() const { return RemainingMs() == 0; }

  private:
    std::uint64_t m_endMs;
};

}  // namespace platform
