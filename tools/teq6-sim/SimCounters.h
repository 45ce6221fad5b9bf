// What the device saw and said over its whole life, for the summary line that scripts read.
#pragma once

#include <cstddef>
#include <cstdint>

struct SimCounters {
    // Connect requests, blocks and end messages; framing errors are not messages.
    std::uint32_t messages = 0;
    std::uint32_t connectRequests = 0;
    std::uint32_t blocks = 0;
    std::uint32_t acks = 0;
    std::uint32_t naks = 0;
    std::uint32_t blocksAccepted = 0;
    std::uint32_t framingErrors = 0;
    bool endMessage = false;
};

// Room for the summary with every count at its largest.
constexpr std::size_t kSummarySize = 192;

// "messages: N, connect requests: N, ..., end message: yes|no", without a line end.
void FormatSummary(const SimCounters& counters, char (&summary)[kSummarySize]);
