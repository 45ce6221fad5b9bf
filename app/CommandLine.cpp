#include "app/CommandLine.h"

#include <cstdlib>
#include <limits>

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

}  // namespace

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
