// Overlapped reads and writes on pseudo-terminals that Wine presents as COM ports: one echoes
// what it receives, the other hangs up.
#include <gtest/gtest.h>

#include "MappedPort.h"
#include "serial/Platform.h"

namespace {

using platform::ReadOutcome;
using win32test::EchoPort;
using win32test::GuardedReadByte;
using win32test::HangUpPort;
using win32test::WaitForInput;

TEST_F(EchoPort, WrittenBytesComeBackOneByOne) {
    ASSERT_TRUE(WriteText("TEQ"));
    for (char expected : {'T', 'E', 'Q'}) {
        std::uint8_t byte = 0;
        ASSERT_EQ(GuardedReadByte(m_port, &byte), ReadOutcome::kByte);
        EXPECT_EQ(byte, expected);
    }
}

// Were the abandoned read left pending, it would swallow the next byte into memory that is gone.
TEST_F(EchoPort, AStoppedReadIsCancelledAndTheNextByteIsNotLost) {
    platform::SignalEvent(m_stopEvent);
    std::uint8_t byte = 0;
    EXPECT_EQ(platform::ReadByte(m_port, m_readEvent, m_stopEvent, &byte), ReadOutcome::kStopped);
    ASSERT_TRUE(WriteText("B"));
    EXPECT_EQ(GuardedReadByte(m_port, &byte), ReadOutcome::kByte);
    EXPECT_EQ(byte, 'B');
}

// Windows completes such a read at once; Wine still makes it pend, and then the stop may win.
// Either way the byte must not vanish with the abandoned read.
TEST_F(EchoPort, AByteWaitingWhenStoppedIsTakenNowOrByTheNextRead) {
    ASSERT_TRUE(WriteText("C"));
    ASSERT_TRUE(WaitForInput(m_port, 1));
    platform::SignalEvent(m_stopEvent);
    std::uint8_t byte = 0;
    ReadOutcome outcome = platform::ReadByte(m_port, m_readEvent, m_stopEvent, &byte);
    if (outcome == ReadOutcome::kStopped) {
        outcome = GuardedReadByte(m_port, &byte);
    }
    EXPECT_EQ(outcome, ReadOutcome::kByte);
    EXPECT_EQ(byte, 'C');
}

TEST_F(EchoPort, BothPurgesDiscardWhatHasArrived) {
    for (platform::Purge mode :
         {platform::Purge::kKeepPendingReads, platform::Purge::kAbortPendingReads}) {
        ASSERT_TRUE(WriteText("xyz"));
        ASSERT_TRUE(WaitForInput(m_port, 3));
        platform::PurgePort(m_port, mode);
        ASSERT_TRUE(WriteText("k"));
        std::uint8_t byte = 0;
        EXPECT_EQ(GuardedReadByte(m_port, &byte), ReadOutcome::kByte);
        EXPECT_EQ(byte, 'k');
    }
}

TEST_F(HangUpPort, AHangUpFailsTheRead) {
    ASSERT_TRUE(WriteText("H"));
    std::uint8_t byte = 0;
    EXPECT_EQ(GuardedReadByte(m_port, &byte), ReadOutcome::kFailed);
}

}  // namespace
