// Events on Win32.
#include <gtest/gtest.h>

#include "serial/win32/NativeHandle.h"

namespace {

// Events are manual-reset: a stop request raised before the reader waits must still stop it, and
// every later wait must see it too.
TEST(Win32Event, StartsClearAndStaysSignalled) {
    platform::Handle event = platform::NewEvent();
    ASSERT_NE(event, platform::kNoHandle);
    EXPECT_FALSE(platform::IsSignalled(event));
    platform::SignalEvent(event);
    // An auto-reset event would be cleared again by the first of these waits.
    EXPECT_TRUE(platform::IsSignalled(event));
    EXPECT_TRUE(platform::IsSignalled(event));
    platform::CloseEvent(event);
}

}  // namespace
