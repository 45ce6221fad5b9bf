// Port settings on a pseudo-terminal that Wine presents as a COM port: the time-outs that the
// port object saves and puts back, and the line settings it changes and keeps.
#include <gtest/gtest.h>

#include "MappedPort.h"
#include "serial/win32/NativeHandle.h"

namespace {

using platform::ToNative;
using win32test::EchoPort;

// Never mapped: the portable tests rely on that as well.
const char* const kUnmappedPort = "\\\\.\\COM200";

TEST(Win32Port, AMissingPortIsNoHandle) {
    EXPECT_EQ(platform::OpenPort(kUnmappedPort), platform::kNoHandle);
    EXPECT_EQ(platform::ProbePort(kUnmappedPort), platform::kNoHandle);
}

COMMTIMEOUTS CurrentTimeouts(platform::Handle port) {
    COMMTIMEOUTS timeouts{};
    EXPECT_TRUE(GetCommTimeouts(ToNative(port), &timeouts));
    return timeouts;
}

TEST_F(EchoPort, SavedTimeoutsComeBackFieldByField) {
    COMMTIMEOUTS distinct{1, 2, 3, 4, 5};
    ASSERT_TRUE(SetCommTimeouts(ToNative(m_port), &distinct));
    platform::SavedPortState saved{};
    ASSERT_TRUE(platform::SavePortState(m_port, &saved));

    ASSERT_TRUE(platform::SetZeroTimeouts(m_port));
    COMMTIMEOUTS zero = CurrentTimeouts(m_port);
    EXPECT_EQ(zero.ReadIntervalTimeout, 0u);
    EXPECT_EQ(zero.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(zero.ReadTotalTimeoutConstant, 0u);
    EXPECT_EQ(zero.WriteTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(zero.WriteTotalTimeoutConstant, 0u);

    ASSERT_TRUE(platform::RestorePortState(m_port, saved));
    COMMTIMEOUTS restored = CurrentTimeouts(m_port);
    EXPECT_EQ(restored.ReadIntervalTimeout, distinct.ReadIntervalTimeout);
    EXPECT_EQ(restored.ReadTotalTimeoutMultiplier, distinct.ReadTotalTimeoutMultiplier);
    EXPECT_EQ(restored.ReadTotalTimeoutConstant, distinct.ReadTotalTimeoutConstant);
    EXPECT_EQ(restored.WriteTotalTimeoutMultiplier, distinct.WriteTotalTimeoutMultiplier);
    EXPECT_EQ(restored.WriteTotalTimeoutConstant, distinct.WriteTotalTimeoutConstant);
}

// A pseudo-terminal always has 8 data bits and no parity, so only the rate, the stop bits and the
// flow control show what the call changed and what it kept.
TEST_F(EchoPort, LineGetsTheRateAndOneStopBitAndKeepsItsFlowControl) {
    constexpr DWORD kOldRate = CBR_9600;
    constexpr DWORD kNewRate = CBR_115200;
    DCB before{};
    before.DCBlength = sizeof(before);
    ASSERT_TRUE(GetCommState(ToNative(m_port), &before));
    before.BaudRate = kOldRate;
    before.StopBits = TWOSTOPBITS;
    before.fOutxCtsFlow = TRUE;
    ASSERT_TRUE(SetCommState(ToNative(m_port), &before));

    ASSERT_TRUE(platform::SetLineSettings(m_port, kNewRate));
    DCB after{};
    after.DCBlength = sizeof(after);
    ASSERT_TRUE(GetCommState(ToNative(m_port), &after));
    EXPECT_EQ(after.BaudRate, kNewRate);
    EXPECT_EQ(after.StopBits, ONESTOPBIT);
    EXPECT_TRUE(after.fOutxCtsFlow);
}

}  // namespace
