// The port object's bookkeeping, which needs no device: numbering, names, refusals before any
// I/O, and the list that owns the ports.
#include "serial/SerialPort.h"

#include <gtest/gtest.h>

#include "serial/SerialPortList.h"

namespace {

// No device is ever mapped to this number.
constexpr std::uint32_t kUnmapped = 200;

TEST(SerialPort, NumbersOutsideOneTo256AreRefusedAndChangeNothing) {
    SerialPort port;
    ASSERT_TRUE(port.SetPortNumber(256));
    EXPECT_STREQ(port.DeviceName(), "\\\\.\\COM256");
    ASSERT_TRUE(port.SetPortNumber(7));
    EXPECT_FALSE(port.SetPortNumber(0));
    EXPECT_FALSE(port.SetPortNumber(257));
    EXPECT_EQ(port.PortNumber(), 7u);
    EXPECT_STREQ(port.DeviceName(), "\\\\.\\COM7");
}

TEST(SerialPort, RefusesWithoutTouchingThePortAndNeverSendsAnInvalidBlock) {
    SerialPort port;
    port.Close();  // not open: nothing happens
    ASSERT_TRUE(port.SetPortNumber(kUnmapped));
    EXPECT_FALSE(port.Configure(0));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(port.Exchange(reinterpret_cast<const std::uint8_t*>("x"), 1, 1, false),
              SerialPort::kNoReply);
    DataBlock block{};
    block.bytes[0] = 1;  // check word 0 no longer matches
    EXPECT_FALSE(port.SendBlock(&block));
    EXPECT_FALSE(port.SendBlock(nullptr));
}

TEST(SerialPortList, GrowsByFourAndKeepsOrderAndItsSlots) {
    SerialPortList list;
    EXPECT_FALSE(list.Add(nullptr));
    EXPECT_EQ(list.Capacity(), 0u);
    for (std::uint32_t number = 10; number <= 50; number += 10) {
        SerialPort* port = new SerialPort;
        port->SetPortNumber(number);
        ASSERT_TRUE(list.Add(port));
        EXPECT_EQ(list.Capacity(), number <= 40 ? 4u : 8u);
    }
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

}  // namespace
