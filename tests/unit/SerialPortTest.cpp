// The port object's bookkeeping, which needs no device: numbering, names, refusals before any
// I/O, and the list that owns the ports.
#include "serial/SerialPort.h"

#include <gtest/gtest.h>

#include "app/Downloader.h"
#include "serial/SerialPortList.h"

namespace {

TEST(SerialPort, NumbersOutsideOneTo256AreRefusedAndChangeNothing) {
    SerialPort port;
    ASSERT_TRUE(port.SetPortNumber(7));
    EXPECT_FALSE(port.SetPortNumber(0));
    EXPECT_FALSE(port.SetPortNumber(257));
    EXPECT_EQ(port.PortNumber(), 7u);
    EXPECT_STREQ(port.DeviceName(), "\\\\.\\COM7");
}

TEST(SerialPort, Port256HasTheLongestName) {
    SerialPort port;
    ASSERT_TRUE(port.SetPortNumber(256));
    EXPECT_STREQ(port.DeviceName(), "\\\\.\\COM256");
    EXPECT_EQ(std::string(port.DeviceName()).size(), 10u);
}

TEST(SerialPort, RefusesWithoutTouchingThePort) {
    SerialPort port;
    port.Close();  // not open: nothing happens
    EXPECT_FALSE(port.IsOpen());
    ASSERT_TRUE(port.SetPortNumber(200));  // no device is ever mapped to 200
    EXPECT_FALSE(port.Configure(0));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.Exchange(reinterpret_cast<const std::uint8_t*>("x"), 1, 1, false),
              SerialPort::kNoReply);
}

TEST(SerialPort, InvalidBlocksAreNeverSent) {
    SerialPort port;
    ASSERT_TRUE(port.SetPortNumber(200));
    DataBlock block{};
    block.bytes[0] = 1;  // check word 0 no longer matches
    EXPECT_FALSE(port.SendBlock(&block));
    EXPECT_FALSE(port.SendBlock(nullptr));
}

SerialPort* NumberedPort(std::uint32_t number) {
    SerialPort* port = new SerialPort;
    port->SetPortNumber(number);
    return port;
}

TEST(SerialPortList, GrowsByFourAndKeepsOrder) {
    SerialPortList list;
    EXPECT_FALSE(list.Add(nullptr));
    EXPECT_EQ(list.Capacity(), 0u);
    for (std::uint32_t number = 1; number <= 4; ++number) {
        ASSERT_TRUE(list.Add(NumberedPort(number * 10)));
    }
    EXPECT_EQ(list.Capacity(), 4u);
    ASSERT_TRUE(list.Add(NumberedPort(50)));
    EXPECT_EQ(list.Capacity(), 8u);
    ASSERT_EQ(list.Count(), 5u);
    for (std::uint32_t index = 0; index < 5; ++index) {
        EXPECT_EQ(list.At(index)->PortNumber(), (index + 1) * 10);
    }
    EXPECT_EQ(list.At(5), nullptr);
    EXPECT_EQ(list.Find(30), list.At(2));
    EXPECT_EQ(list.Find(31), nullptr);
    list.Clear();
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_EQ(list.Capacity(), 8u);
    EXPECT_EQ(list.At(0), nullptr);
}

TEST(Downloader, ChecksSettingsBeforeAnyTraffic) {
    Downloader downloader;
    EXPECT_EQ(downloader.SetBaudRate(0), InvalidBaudRate);
    EXPECT_EQ(downloader.SetBaudRate(0xFFFFFFFBu), Success);  // a port may still refuse it
    EXPECT_EQ(downloader.SetPort(0), InvalidPort);
    EXPECT_EQ(downloader.SetPort(200), InvalidPort);  // never mapped, so never discovered
    EXPECT_EQ(downloader.LoadFile(nullptr), InvalidFilename);
    // Without a selected port the download stops before opening anything.
    EXPECT_EQ(downloader.Download(), InvalidPort);
}

}  // namespace
