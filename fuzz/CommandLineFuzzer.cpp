// Arguments in (separated by NUL bytes), settings out, checked against a plain reading of the
// rules: second character 'b' for a baud rate, anything else a port number, strtol-like digits
// clamped to the signed 32-bit range.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/CommandLine.h"

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::int32_t Clamped(const std::string& text) {
    std::size_t at = 0;
    while (at < text.size() && IsSpace(text[at])) {
        ++at;
    }
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    long long value = 0;
    const long long limit = 1LL << 32;  // beyond either end of the range
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        if (value < limit) {
            value = value * 10 + (text[at] - '0');
        }
    }
    value = negative ? -value : value;
    if (value > INT32_MAX) {
        return INT32_MAX;
    }
    if (value < INT32_MIN) {
        return INT32_MIN;
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> arguments(1, "telvorn");
    arguments.emplace_back();
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            arguments.emplace_back();
        } else {
            arguments.back() += static_cast<char>(data[i]);
        }
    }
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
    }

    CommandLine parsed;
    if (!ParseCommandLine(static_cast<int>(argv.size()), argv.data(), &parsed)) {
        std::abort();
    }
    std::int32_t port = CommandLine::kDefaultPortNumber;
    std::int32_t baud = CommandLine::kDefaultBaudRate;
    for (std::size_t i = 2; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument.size() < 2) {
            port = 0;
        } else if (argument[1] == 'b') {
            baud = Clamped(argument.substr(2));
        } else {
            port = Clamped(argument.substr(1));
        }
    }
    if (parsed.fileName != argv[1] || parsed.portNumber != port || parsed.baudRate != baud) {
        std::abort();
    }
    return 0;
}
