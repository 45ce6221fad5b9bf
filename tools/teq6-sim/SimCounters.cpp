#include "tools/teq6-sim/SimCounters.h"

#include <cstdio>

void FormatSummary(const SimCounters& counters, char (&summary)[kSummarySize]) {
    std::snprintf(summary, kSummarySize,
                  "messages: %u, connect requests: %u, blocks: %u, ACKs: %u, NAKs: %u, "
                  "blocks accepted: %u, framing errors: %u, end message: %s",
                  counters.messages, counters.connectRequests, counters.blocks, counters.acks,
                  counters.naks, counters.blocksAccepted, counters.framingErrors,
                  counters.endMessage ? "yes" : "no");
}
