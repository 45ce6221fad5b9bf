#include "tools/teq6-sim/ReplySchedule.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

ScheduledAnswer At(std::uint64_t dueMs, std::uint8_t reply) {
    return ScheduledAnswer{dueMs, false, reply, false, false};
}

std::vector<std::uint8_t> TakeAll(ReplySchedule* schedule) {
    std::vector<std::uint8_t> replies;
    while (!schedule->IsEmpty()) {
        replies.push_back(schedule->Next().reply);
        schedule->RemoveNext();
    }
    return replies;
}

TEST(SimReplySchedule, EarliestFirstAndTiesInArrivalOrder) {
    ReplySchedule schedule;
    // Stale bytes due after an answer, then an answer that falls due before them.
    schedule.Add(At(100, 1));
    schedule.Add(At(200, 2));
    schedule.Add(At(150, 3));
    schedule.Add(At(150, 4));
    schedule.Add(At(50, 5));
    EXPECT_EQ(TakeAll(&schedule), (std::vector<std::uint8_t>{5, 1, 3, 4, 2}));
}

TEST(SimReplySchedule, FullScheduleRefusesAndKeepsWhatItHas) {
    ReplySchedule schedule;
    for (std::size_t i = 0; i < ReplySchedule::kCapacity; ++i) {
        EXPECT_TRUE(schedule.Add(At(i, static_cast<std::uint8_t>(i))));
    }
    EXPECT_FALSE(schedule.Add(At(0, 99)));
    const std::vector<std::uint8_t> replies = TakeAll(&schedule);
    ASSERT_EQ(replies.size(), ReplySchedule::kCapacity);
    EXPECT_EQ(replies.front(), 0u);
    EXPECT_EQ(replies.back(), ReplySchedule::kCapacity - 1);
}

}  // namespace
