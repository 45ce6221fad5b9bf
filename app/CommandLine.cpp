#include "app/CommandLine.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/ComName.h"

namespace {

constexpr char kBaudRateMark = 'b';

void ApplyOption(const char* argument, CommandLine* parsed) {
    // An argument shorter than two characters has no second character to read.
    if (argument[0] == '\0' || argument[1] == '\0') {
        parsed->portNumber = 0;
    } else if (argument[1] == kBaudRateMark) {
        parsed->baudRate = DecimalValue(argument + 2);
    } else {
        parsed->portNumber = DecimalValue(argument + 1);
    }
}

bool IsDigit(char character) {
    return std::isdigit(static_cast<unsigned char>(character)) != 0;
}

// Text after the number that strtol stops at: "k" in "115k".
bool HasTextAfterNumber(const char* text) {
    char* end = nullptr;
    std::strtoll(text, &end, 10);
    return end == text || *end != '\0';
}

}  // namespace

bool IsHelpRequest(const char* argument) {
    return std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0 ||
           std::strcmp(argument, "/?") == 0;
}

bool IsVersionRequest(const char* argument) {
    return std::strcmp(argument, "--version") == 0;
}

bool DescribeLikelyMistake(const char* argument, char* text, std::size_t size) {
    CommandLine read;
    ApplyOption(argument, &read);
    if (IsDigit(argument[0]) || platform::IsComName(argument)) {
        const char* digits = argument + std::strcspn(argument, "0123456789");
        std::snprintf(text, size,
                      "'%s' is read as port %d: a port number is given with a dash, as -%s",
                      argument, static_cast<int>(read.portNumber), digits);
        return true;
    }
    if (argument[0] == '\0' || argument[1] != kBaudRateMark || !HasTextAfterNumber(argument + 2)) {
        return false;
    }
    std::snprintf(text, size,
                  "'%s' is read as baud rate %d: the rate is given in digits right after -b, as "
                  "-b115200",
                  argument, static_cast<int>(read.baudRate));
    return true;
}

std::int32_t DecimalValue(const char* text) {
    // long long is at least 64 bits everywhere, so the clamp below is the only limit that
    // applies, whatever the size of long on this platform.
    const long long value = std::strtoll(text, nullptr, 10);
    if (value > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (value < std::numeric_limits<std::int32_t>::min()) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(value);
}

bool ParseCommandLine(int argc, const char* const* argv, CommandLine* parsed) {
    if (argc < 2) {
        return false;
    }
    parsed->fileName = argv[1];
    for (int i = 2; i < argc; ++i) {
        ApplyOption(argv[i], parsed);
    }
    return true;
}
