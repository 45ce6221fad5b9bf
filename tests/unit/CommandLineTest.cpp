#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <limits>
#include <vector>

namespace {

struct Parsed {
    bool ok;
    CommandLine line;
};

Parsed Parse(std::initializer_list<const char*> arguments) {
    std::vector<const char*> argv = {"telvorn"};
    argv.insert(argv.end(), arguments);
    Parsed result{};
    result.ok = ParseCommandLine(static_cast<int>(argv.size()), argv.data(), &result.line);
    return result;
}

TEST(CommandLine, NeedsAFileName) {
    EXPECT_FALSE(Parse({}).ok);
}

TEST(CommandLine, FileNameAloneTakesTheDefaults) {
    Parsed parsed = Parse({"config.bin"});
    ASSERT_TRUE(parsed.ok);
    EXPECT_STREQ(parsed.line.fileName, "config.bin");
    EXPECT_EQ(parsed.line.portNumber, 1);
    EXPECT_EQ(parsed.line.baudRate, 115200);
}

TEST(CommandLine, PortAndBaudRateInEitherOrder) {
    for (Parsed parsed : {Parse({"f", "-3", "-b57600"}), Parse({"f", "-b57600", "-3"})}) {
        EXPECT_EQ(parsed.line.portNumber, 3);
        EXPECT_EQ(parsed.line.baudRate, 57600);
    }
}

TEST(CommandLine, FirstCharacterIsNeverLookedAt) {
    EXPECT_EQ(Parse({"f", "12"}).line.portNumber, 2);
    EXPECT_EQ(Parse({"f", "/7"}).line.portNumber, 7);
    EXPECT_EQ(Parse({"f", "xb9600"}).line.baudRate, 9600);
    // Only a lower-case b marks a baud rate; B is read as a port number, and is no digit.
    Parsed upper = Parse({"f", "-B9600"});
    EXPECT_EQ(upper.line.portNumber, 0);
    EXPECT_EQ(upper.line.baudRate, 115200);
}

TEST(CommandLine, ShortArgumentsSetThePortToZero) {
    EXPECT_EQ(Parse({"f", "3"}).line.portNumber, 0);
    EXPECT_EQ(Parse({"f", "-"}).line.portNumber, 0);
    EXPECT_EQ(Parse({"f", ""}).line.portNumber, 0);
    // "-b" is two characters long: a baud rate with no digits.
    Parsed bare = Parse({"f", "-b"});
    EXPECT_EQ(bare.line.baudRate, 0);
    EXPECT_EQ(bare.line.portNumber, 1);
}

TEST(CommandLine, LaterArgumentsOverrideEarlierOnes) {
    Parsed parsed = Parse({"f", "-2", "-b9600", "-5", "-b19200"});
    EXPECT_EQ(parsed.line.portNumber, 5);
    EXPECT_EQ(parsed.line.baudRate, 19200);
}

TEST(CommandLine, NegativeValuesArePassedOn) {
    EXPECT_EQ(Parse({"f", "-b-5"}).line.baudRate, -5);
    EXPECT_EQ(Parse({"f", "--2"}).line.portNumber, -2);
}

TEST(DecimalValue, ReadsLikeStrtol) {
    EXPECT_EQ(DecimalValue("42"), 42);
    EXPECT_EQ(DecimalValue("  \t42"), 42);
    EXPECT_EQ(DecimalValue("+42"), 42);
    EXPECT_EQ(DecimalValue("-42"), -42);
    EXPECT_EQ(DecimalValue("42abc"), 42);
    EXPECT_EQ(DecimalValue("0x1F"), 0);  // base 10: the x ends the number
    EXPECT_EQ(DecimalValue("007"), 7);
    EXPECT_EQ(DecimalValue("abc"), 0);
    EXPECT_EQ(DecimalValue(""), 0);
    EXPECT_EQ(DecimalValue("- 5"), 0);
}

TEST(DecimalValue, ClampsToTheSigned32BitRange) {
    const std::int32_t max = std::numeric_limits<std::int32_t>::max();
    const std::int32_t min = std::numeric_limits<std::int32_t>::min();
    EXPECT_EQ(DecimalValue("2147483647"), max);
    EXPECT_EQ(DecimalValue("2147483648"), max);
    EXPECT_EQ(DecimalValue("4294967297"), max);  // would wrap to 1 if truncated
    EXPECT_EQ(DecimalValue("99999999999999999999999"), max);
    EXPECT_EQ(DecimalValue("-2147483648"), min);
    EXPECT_EQ(DecimalValue("-2147483649"), min);
    EXPECT_EQ(DecimalValue("-99999999999999999999999"), min);
}

}  // namespace
