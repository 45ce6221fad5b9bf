#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace {

TEST(CommandLine, ReadsEachArgumentFromItsSecondCharacter) {
    const struct {
        std::initializer_list<const char*> arguments;
        std::int32_t port;
        std::int32_t baudRate;
    } cases[] = {
        {{"config.bin"}, 1, 115200},
        // The first character is never looked at.
        {{"f", "12"}, 2, 115200},
        {{"f", "xb9600"}, 1, 9600},
        // Only a lower-case b marks a baud rate; B is read as a port number, and is no digit.
        {{"f", "-B9600"}, 0, 115200},
        // Arguments shorter than two characters set the port to 0; "-b" is a rate without digits.
        {{"f", "3"}, 0, 115200},
        {{"f", ""}, 0, 115200},
        {{"f", "-b"}, 1, 0},
        {{"f", "-2", "-b9600", "-5", "-b19200"}, 5, 19200},
        // As strtol reads base 10, clamped to the signed 32-bit range whatever the size of long.
        {{"f", "-b-5"}, 1, -5},
        {{"f", "--2"}, -2, 115200},
        {{"f", "-b \t+42abc"}, 1, 42},
        {{"f", "-b0x1F"}, 1, 0},
        {{"f", "-b- 5"}, 1, 0},
        {{"f", "-b2147483648"}, 1, INT32_MAX},
        {{"f", "-b99999999999999999999999"}, 1, INT32_MAX},
        {{"f", "--2147483649"}, INT32_MIN, 115200},
    };
    for (const auto& c : cases) {
        std::vector<const char*> argv = {"telvorn"};
        argv.insert(argv.end(), c.arguments);
        CommandLine line;
        ASSERT_TRUE(ParseCommandLine(static_cast<int>(argv.size()), argv.data(), &line));
        EXPECT_STREQ(line.fileName, argv[1]);
        EXPECT_EQ(line.portNumber, c.port) << argv.back();
        EXPECT_EQ(line.baudRate, c.baudRate) << argv.back();
    }
}

}  // namespace
