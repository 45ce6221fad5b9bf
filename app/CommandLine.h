// The command line: TELVORN <filename> [<port number>] [-b<baud rate>]. Every argument after the
// file name is read from its second character on: 'b' there makes it a baud rate, anything else
// a port number. The first character is never looked at, so "-2", "/2" and "12" all mean port 2.
#pragma once

#include <cstddef>
#include <cstdint>

struct CommandLine {
    static constexpr std::int32_t kDefaultPortNumber = 1;
    static constexpr std::int32_t kDefaultBaudRate = 115200;

    const char* fileName = nullptr;
    std::int32_t portNumber = kDefaultPortNumber;
    std::int32_t baudRate = kDefaultBaudRate;
};

// False when no file name was given. argv[0] is the program name.
bool ParseCommandLine(int argc, const char* const* argv, CommandLine* parsed);

// Reads text as strtol does in base 10 (leading white space, a sign, digits up to the first
// non-digit, 0 when there are none), clamped to the signed 32-bit range on every platform.
std::int32_t DecimalValue(const char* text);

// The first argument asks for the usage text (--help, -h, /?) or the version (--version) instead
// of naming a file; a file of that name is still reached as ./--help.
bool IsHelpRequest(const char* argument);
bool IsVersionRequest(const char* argument);

// When an argument after the file name reads otherwise than it was probably meant (a port number
// without its dash, "40" or "COM40"; a baud rate parted from -b by a space, or with letters in
// it, "-b115k"), what it is read as and how to write it, into text; false when it reads as it
// looks.
bool DescribeLikelyMistake(const char* argument, char* text, std::size_t size);
