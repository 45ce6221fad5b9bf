#include <gtest/gtest.h>

#include <atomic>

#include "Watchdog.h"
#include "serial/Platform.h"

namespace {

struct GatedBody {
    platform::Handle gate = platform::NewEvent();
    std::atomic<bool> finished{false};
};

// Waits for the gate, then pauses long enough for a join that does not wait for the end of the
// body to return before it.
std::uint32_t RunAfterGate(void* argument) {
    GatedBody* body = static_cast<GatedBody*>(argument);
    platform::WaitForEvent(body->gate);
    platform::SleepMs(50);
    body->finished = true;
    return 0;
}

TEST(Thread, WaitTimesOutWhileTheBodyRunsAndJoinReturnsOnlyOnceItHasFinished) {
    GatedBody body;
    ASSERT_NE(platform::kNoHandle, body.gate);
    const platform::Handle thread = platform::StartThread(RunAfterGate, &body);
    ASSERT_NE(platform::kNoHandle, thread);
    EXPECT_EQ(platform::WaitOutcome::kTimedOut, platform::WaitForThread(thread, 0));
    EXPECT_EQ(platform::WaitOutcome::kTimedOut, platform::WaitForThread(thread, 50));
    platform::SignalEvent(body.gate);
    platform::JoinThread(thread);
    EXPECT_TRUE(body.finished);
    // Ended for every look, as an exchange may ask again.
    EXPECT_EQ(platform::WaitOutcome::kEnded, platform::WaitForThread(thread, 0));
    EXPECT_EQ(platform::WaitOutcome::kEnded, platform::WaitForThread(thread, 0));
    AwaitEnd(thread);
    platform::CloseEvent(body.gate);
}

}  // namespace
