// Events and threads on Win32.
#include <gtest/gtest.h>

#include "serial/win32/NativeHandle.h"

namespace {

using platform::ToNative;

constexpr std::uint32_t kResult = 0xC0FFEE;

std::uint32_t WaitForEventAndAnswer(void* event) {
    platform::WaitForEvent(*static_cast<platform::Handle*>(event));
    return kResult;
}

// Events are manual-reset: a stop request raised before the reader waits must still stop it, and
// every later wait must see it too.
TEST(Win32Event, StartsClearAndStaysSignalled) {
    platform::Handle event = platform::NewEvent();
    ASSERT_NE(event, platform::kNoHandle);
    EXPECT_EQ(WaitForSingleObject(ToNative(event), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    platform::SignalEvent(event);
    // An auto-reset event would be cleared again by the first of these waits.
    EXPECT_EQ(WaitForSingleObject(ToNative(event), 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(ToNative(event), 0), WAIT_OBJECT_0);
    platform::CloseEvent(event);
}

// The portable body runs with its argument and its result becomes the exit code, and the bounded
// wait tells a running thread from an ended one and from a failed wait.
TEST(Win32Thread, RunsTheBodyAndReportsWhetherItHasEnded) {
    platform::Handle release = platform::NewEvent();
    ASSERT_NE(release, platform::kNoHandle);
    platform::Handle thread = platform::StartThread(&WaitForEventAndAnswer, &release);
    ASSERT_NE(thread, platform::kNoHandle);
    EXPECT_EQ(platform::WaitForThread(thread, 0), platform::WaitOutcome::kTimedOut);
    platform::SignalEvent(release);
    platform::JoinThread(thread);
    EXPECT_EQ(platform::WaitForThread(thread, 0), platform::WaitOutcome::kEnded);
    DWORD exitCode = 0;
    ASSERT_TRUE(GetExitCodeThread(ToNative(thread), &exitCode));
    EXPECT_EQ(exitCode, kResult);
    platform::CloseThread(thread);
    platform::CloseEvent(release);
    EXPECT_EQ(platform::WaitForThread(0, 0), platform::WaitOutcome::kFailed) << "no thread";
}

}  // namespace
