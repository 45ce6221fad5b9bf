// What the device sends back: the composed answer, and the schedule that holds answers until due.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "tools/teq6-sim/ReplyComposer.h"
#include "tools/teq6-sim/ReplySchedule.h"
#include "tools/teq6-sim/Wire.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The chunks a writer would be handed, in order.
std::vector<Bytes> Drain(Transmission* out) {
    std::vector<Bytes> chunks;
    while (!out->IsSent()) {
        const std::uint8_t* bytes = nullptr;
        const std::size_t length = out->NextChunk(&bytes);
        chunks.emplace_back(bytes, bytes + length);
        out->Advance(length);
    }
    return chunks;
}

// The program takes the first ACK or NAK for the reply, and the stale bytes after an ACK must
// already be waiting when it does, to be purged before its next message.
TEST(SimReplyComposer, ChatterHoldsNoReplyAndTheReplyLeavesWithItsStaleTail) {
    SimOptions options;
    options.text = "OK:", options.xoff = options.controlBytes = true;
    options.randomBytes = 5000, options.flood = 300;
    ReplyComposer composer(options);
    Transmission out;
    ASSERT_TRUE(out.Reserve(composer.MaxLength()));
    composer.ComposeReply(wire::kAck, true, true, &out);
    const std::vector<Bytes> chunks = Drain(&out);
    ASSERT_EQ(chunks.size(), 2u);
    const Bytes &chatter = chunks[0], &last = chunks[1];
    EXPECT_EQ(chatter.size() + last.size(), composer.MaxLength());
    EXPECT_EQ(Bytes(chatter.begin(), chatter.begin() + 4), Bytes({'O', 'K', ':', wire::kXoff}));
    const auto isReply = [](std::uint8_t byte) { return byte == wire::kAck || byte == wire::kNak; };
    EXPECT_TRUE(std::none_of(chatter.begin(), chatter.end(), isReply));
    // Behind the ACK, a NAK and an ACK that must never pass for the next reply.
    ASSERT_GE(last.size(), 3u);
    EXPECT_EQ(Bytes(last.begin(), last.begin() + 3), Bytes({wire::kAck, wire::kNak, wire::kAck}));

    ReplyComposer::ComposeStale(&out);
    EXPECT_EQ(Drain(&out), std::vector<Bytes>{Bytes(last.begin() + 1, last.end())});
}

// Every answer passes through the schedule; none of the end-to-end cases has two outstanding
// out of order, which late answers and stale bytes together make.
TEST(SimReplySchedule, EarliestFirstAndTiesInArrivalOrder) {
    ReplySchedule schedule;
    const std::uint64_t dueMs[] = {100, 200, 150, 150, 50};
    for (std::uint8_t arrival = 0; arrival < 5; ++arrival) {
        ASSERT_TRUE(schedule.Add(ScheduledAnswer{dueMs[arrival], false, arrival, false, false}));
    }
    Bytes order;
    for (; !schedule.IsEmpty(); schedule.RemoveNext()) {
        order.push_back(schedule.Next().reply);
    }
    EXPECT_EQ(order, Bytes({4, 0, 2, 3, 1}));
}

}  // namespace
