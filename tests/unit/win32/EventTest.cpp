// Events are manual-reset: a stop request raised before the reader waits must still stop it, and
// every later wait must see it too.
#include <gtest/gtest.h>

#include "serial/win32/NativeHandle.h"

namespace {

using platform::ToNative;

constexpr DWORD kDoNotWait = 0;

TEST(Win32Event, StartsClearAndStaysSignalled) {
    platform::Handle event = platform::NewEvent();
    ASSERT_NE(event, platform::kNoHandle);
    EXPECT_EQ(WaitForSingleObject(ToNative(event), kDoNotWait), static_cast<DWORD>(WAIT_TIMEOUT));
    platform::SignalEvent(event);
    // An auto-reset event would be cleared again by the first of these waits.
    EXPECT_EQ(WaitForSingleObject(ToNative(event), kDoNotWait), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(ToNative(event), kDoNotWait), WAIT_OBJECT_0);
    platform::CloseEvent(event);
}

}  // namespace
