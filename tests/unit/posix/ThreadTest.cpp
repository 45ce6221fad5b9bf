#include <gtest/gtest.h>

#include <atomic>

#include "Watchdog.h"
#include "serial/Platform.h"

namespace {

// Long enough for a body that runs on without waiting for its own end to reach it.
constexpr std::uint32_t kBodyPauseMs = 50;
constexpr std::uint32_t kNoTime = 0;

struct GatedBody {
    platform::Handle gate = platform::kNoHandle;
    std::atomic<bool> finished{false};
};

std::uint32_t RunAfterGate(void* argument) {
    GatedBody* body = static_cast<GatedBody*>(argument);
    platform::WaitForEvent(body->gate);
    platform::SleepMs(kBodyPauseMs);
    body->finished = true;
    return 0;
}

class ThreadWait : public ::testing::Test {
  protected:
    void SetUp() override {
        m_body.gate = platform::NewEvent();
        ASSERT_NE(platform::kNoHandle, m_body.gate);
        m_thread = platform::StartThread(RunAfterGate, &m_body);
        ASSERT_NE(platform::kNoHandle, m_thread);
    }
    void TearDown() override {
        if (m_thread != platform::kNoHandle) {
            platform::SignalEvent(m_body.gate);
            AwaitEnd(m_thread);
        }
        if (m_body.gate != platform::kNoHandle) {
            platform::CloseEvent(m_body.gate);
        }
    }

    GatedBody m_body;
    platform::Handle m_thread = platform::kNoHandle;
};

}  // namespace

TEST_F(ThreadWait, TimesOutWhileTheThreadRunsAndReportsItsEndAfterward) {
    EXPECT_EQ(platform::WaitOutcome::kTimedOut, platform::WaitForThread(m_thread, kNoTime));
    EXPECT_EQ(platform::WaitOutcome::kTimedOut, platform::WaitForThread(m_thread, kBodyPauseMs));

    platform::SignalEvent(m_body.gate);
    EXPECT_EQ(platform::WaitOutcome::kEnded, platform::WaitForThread(m_thread, kWatchdogMs));
    EXPECT_TRUE(m_body.finished);
    // Still ended for a second look, as an exchange may ask again.
    EXPECT_EQ(platform::WaitOutcome::kEnded, platform::WaitForThread(m_thread, kNoTime));
}

TEST_F(ThreadWait, JoinReturnsOnlyOnceTheBodyHasFinished) {
    platform::SignalEvent(m_body.gate);
    platform::JoinThread(m_thread);
    EXPECT_TRUE(m_body.finished);
    platform::CloseThread(m_thread);
    m_thread = platform::kNoHandle;
}
