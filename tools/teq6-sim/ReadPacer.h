// Holds reading down to the speed of a real line, so that a transfer takes the time it would
// take on a cable: ten bits (start, eight data, stop) per byte. Time is handed in, so the pacing
// can be checked without a clock.
#pragma once

#include <cstddef>
#include <cstdint>

class ReadPacer {
  public:
    // 0: no pacing.
    explicit ReadPacer(std::uint32_t baudRate) : m_bytesPerSecond(baudRate / kBitsPerByte) {}
    ReadPacer(const ReadPacer&) = delete;
    ReadPacer& operator=(const ReadPacer&) = delete;
    virtual ~ReadPacer() = default;

    // How many bytes may be read at nowMs.
    std::size_t Allowance(std::uint64_t nowMs);
    void Consume(std::size_t bytes);
    // When Allowance is 0: how long until it is 1 again.
    std::uint64_t MsUntilNextByte() const;

  private:
    static constexpr std::uint32_t kBitsPerByte = 10;
    // Credit is kept in byte-milliseconds: a byte costs this much.
    static constexpr std::uint64_t kMsPerSecond = 1000;
    static constexpr std::uint64_t kByteCost = kMsPerSecond;
    // A line cannot be read faster than it runs; a short backlog may be caught up at once.
    static constexpr std::uint64_t kBurstMs = 20;

    std::uint64_t MaxCredit() const;

    std::uint64_t m_bytesPerSecond;
    std::uint64_t m_credit = kByteCost;
    std::uint64_t m_lastMs = 0;
    bool m_started = false;
};
