// Threads: the portable body runs with its argument and its result becomes the exit code, and the
// bounded wait tells a running thread from an ended one and from a failed wait.
#include <gtest/gtest.h>

#include "serial/win32/NativeHandle.h"

namespace {

using platform::ToNative;

constexpr std::uint32_t kDoNotWaitMs = 0;
constexpr std::uint32_t kResult = 0xC0FFEE;

std::uint32_t WaitForEventAndAnswer(void* event) {
    platform::WaitForEvent(*static_cast<platform::Handle*>(event));
    return kResult;
}

TEST(Win32Thread, RunsTheBodyAndReportsWhetherItHasEnded) {
    platform::Handle release = platform::NewEvent();
    ASSERT_NE(release, platform::kNoHandle);
    platform::Handle thread = platform::StartThread(&WaitForEventAndAnswer, &release);
    ASSERT_NE(thread, platform::kNoHandle);

    EXPECT_EQ(platform::WaitForThread(thread, kDoNotWaitMs), platform::WaitOutcome::kTimedOut);
    platform::SignalEvent(release);
    platform::JoinThread(thread);
    EXPECT_EQ(platform::WaitForThread(thread, kDoNotWaitMs), platform::WaitOutcome::kEnded);
    DWORD exitCode = 0;
    ASSERT_TRUE(GetExitCodeThread(ToNative(thread), &exitCode));
    EXPECT_EQ(exitCode, kResult);

    platform::CloseThread(thread);
    platform::CloseEvent(release);
}

TEST(Win32Thread, AWaitOnNoThreadFailsRatherThanTimingOut) {
    const platform::Handle kNullHandle = 0;
    EXPECT_EQ(platform::WaitForThread(kNullHandle, kDoNotWaitMs), platform::WaitOutcome::kFailed);
}

}  // namespace
