#include "tools/teq6-sim/SimOptions.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/Console.h"

namespace {

constexpr std::uint32_t kUnlimited = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint32_t kMaxIdleGapMs = 60000;
constexpr std::uint32_t kMaxLateMs = 600000;
// Chatter is built in memory before it is sent; this keeps that memory bounded.
constexpr std::uint32_t kMaxChatterBytes = 1u << 20;
// A line moves ten bits per byte (start, eight data, stop); slower than a byte a second is no use.
constexpr std::uint32_t kMinPaceBaud = 10;
constexpr int kDecimal = 10;
constexpr char kFaultSeparator = ':';

enum class Kind { kFlag, kNumber, kText, kNakBlock };

struct OptionRule {
    const char* name;
    Kind kind;
    // Set by a flag, or by a number to record that it was given.
    bool SimOptions::*flag;
    std::uint32_t SimOptions::*number;
    std::uint32_t minimum;
    std::uint32_t maximum;
    const char* SimOptions::*text;
};

constexpr OptionRule Flag(const char* name, bool SimOptions::*member) {
    return OptionRule{name, Kind::kFlag, member, nullptr, 0, 0, nullptr};
}

constexpr OptionRule Number(const char* name, std::uint32_t SimOptions::*member,
                            std::uint32_t minimum, std::uint32_t maximum,
                            bool SimOptions::*given = nullptr) {
    return OptionRule{name, Kind::kNumber, given, member, minimum, maximum, nullptr};
}

constexpr OptionRule Text(const char* name, const char* SimOptions::*member) {
    return OptionRule{name, Kind::kText, nullptr, nullptr, 0, 0, member};
}

constexpr OptionRule kOptions[] = {
    Flag("--help", &SimOptions::help),
    Text("--link", &SimOptions::linkPath),
    Text("--device", &SimOptions::devicePath),
    Number("--baud", &SimOptions::baudRate, 1, kUnlimited, &SimOptions::baudRateGiven),
    Number("--idle-gap-ms", &SimOptions::idleGapMs, 1, kMaxIdleGapMs),
    Number("--silent-connects", &SimOptions::silentConnects, 0, kUnlimited),
    Number("--nak-connects", &SimOptions::nakConnects, 0, kUnlimited),
    OptionRule{"--nak-block", Kind::kNakBlock, nullptr, nullptr, 0, 0, nullptr},
    Number("--ignore-block", &SimOptions::ignoreBlock, 1, kUnlimited),
    Number("--late-ms", &SimOptions::lateMs, 0, kMaxLateMs),
    Text("--text", &SimOptions::text),
    Flag("--control-bytes", &SimOptions::controlBytes),
    Number("--flood", &SimOptions::flood, 0, kMaxChatterBytes),
    Number("--random-bytes", &SimOptions::randomBytes, 0, kMaxChatterBytes),
    Number("--seed", &SimOptions::seed, 0, kUnlimited),
    Flag("--stale", &SimOptions::stale),
    Number("--hangup-in-block", &SimOptions::hangupInBlock, 1, kUnlimited),
    Number("--hangup-after-connects", &SimOptions::hangupAfterConnects, 1, kUnlimited),
    Number("--fall-silent-after", &SimOptions::fallSilentAfter, 0, kUnlimited,
           &SimOptions::fallSilent),
    Number("--pace-baud", &SimOptions::paceBaud, kMinPaceBaud, kUnlimited),
    Flag("--leave-vmin4", &SimOptions::leaveMinFour),
    Flag("--leave-ixon", &SimOptions::leaveSoftwareFlowControl),
    Flag("--xoff", &SimOptions::xoff),
    Flag("--connected", &SimOptions::startConnected),
    Number("--stop-output-at", &SimOptions::stopOutputAt, 1, kUnlimited),
    Number("--resume-output-after", &SimOptions::resumeOutputAfterMs, 1, kUnlimited),
    Text("--record", &SimOptions::recordPath),
    Flag("--quiet", &SimOptions::quiet),
    Flag("--stay", &SimOptions::stay),
};

const OptionRule* FindOption(const char* name) {
    for (const OptionRule& rule : kOptions) {
        if (std::strcmp(rule.name, name) == 0) {
            return &rule;
        }
    }
    return nullptr;
}

// Plain decimal digits only: no sign, no spaces, nothing after them. *end is where they stop.
bool ReadDecimal(const char* text, std::uint32_t* value, const char** end) {
    if (*text < '0' || *text > '9') {
        return false;
    }
    errno = 0;
    char* stop = nullptr;
    const unsigned long long parsed = std::strtoull(text, &stop, kDecimal);
    if (errno != 0 || parsed > kUnlimited) {
        return false;
    }
    *value = static_cast<std::uint32_t>(parsed);
    *end = stop;
    return true;
}

bool IsPrintable(const char* text) {
    for (const char* c = text; *c != '\0'; ++c) {
        if (!console::IsPrintable(static_cast<unsigned char>(*c))) {
            return false;
        }
    }
    return true;
}

class Parser {
  public:
    Parser(SimOptions* options, char* error, std::size_t errorSize)
        : m_options(options), m_error(error), m_errorSize(errorSize) {}
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;
    virtual ~Parser() = default;

    bool Take(const OptionRule& rule, const char* value);
    bool Fail(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    bool CheckCombination();

  private:
    bool TakeNumber(const OptionRule& rule, const char* value);
    bool TakeText(const OptionRule& rule, const char* value);
    bool TakeNakBlock(const char* value);

    SimOptions* m_options;
    char* m_error;
    std::size_t m_errorSize;
};

bool Parser::Fail(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(m_error, m_errorSize, format, arguments);
    va_end(arguments);
    return false;
}

bool Parser::Take(const OptionRule& rule, const char* value) {
    switch (rule.kind) {
        case Kind::kFlag:
            m_options->*rule.flag = true;
            return true;
        case Kind::kNumber:
            return TakeNumber(rule, value);
        case Kind::kText:
            return TakeText(rule, value);
        case Kind::kNakBlock:
            return TakeNakBlock(value);
    }
    return false;
}

bool Parser::TakeNumber(const OptionRule& rule, const char* value) {
    std::uint32_t number = 0;
    const char* end = nullptr;
    if (!ReadDecimal(value, &number, &end) || *end != '\0' || number < rule.minimum ||
        number > rule.maximum) {
        return Fail("%s: '%s' is not a whole number from %u to %u", rule.name, value, rule.minimum,
                    rule.maximum);
    }
    m_options->*rule.number = number;
    if (rule.flag != nullptr) {
        m_options->*rule.flag = true;
    }
    return true;
}

bool Parser::TakeText(const OptionRule& rule, const char* value) {
    if (rule.text == &SimOptions::text && !IsPrintable(value)) {
        return Fail("%s: '%s' holds a character outside the printable range 0x20 to 0x7E",
                    rule.name, value);
    }
    m_options->*rule.text = value;
    return true;
}

bool Parser::TakeNakBlock(const char* value) {
    const char* name = "--nak-block";
    if (m_options->nakBlockCount == SimOptions::kMaxNakBlockFaults) {
        return Fail("%s: too many (at most %zu)", name, SimOptions::kMaxNakBlockFaults);
    }
    NakBlockFault fault{};
    const char* end = nullptr;
    const bool good = ReadDecimal(value, &fault.block, &end) && *end == kFaultSeparator &&
                      ReadDecimal(end + 1, &fault.count, &end) && *end == '\0' &&
                      fault.block >= 1 && fault.count >= 1;
    if (!good) {
        return Fail("%s: '%s' is not B:K (block number and count, both from 1)", name, value);
    }
    m_options->nakBlocks[m_options->nakBlockCount] = fault;
    ++m_options->nakBlockCount;
    return true;
}

bool Parser::CheckCombination() {
    if (m_options->linkPath != nullptr && m_options->devicePath != nullptr) {
        return Fail("--link and --device exclude each other");
    }
    if (m_options->baudRateGiven && m_options->devicePath == nullptr) {
        return Fail("--baud needs --device: a pseudo-terminal has no line speed");
    }
    return true;
}

}  // namespace

bool ParseSimOptions(int argc, const char* const* argv, SimOptions* options, char* error,
                     std::size_t errorSize) {
    Parser parser(options, error, errorSize);
    for (int i = 1; i < argc; ++i) {
        const OptionRule* rule = FindOption(argv[i]);
        if (rule == nullptr) {
            return parser.Fail("unknown option '%s'", argv[i]);
        }
        const char* value = nullptr;
        if (rule->kind != Kind::kFlag) {
            if (i + 1 == argc) {
                return parser.Fail("%s needs a value", rule->name);
            }
            ++i;
            value = argv[i];
        }
        if (!parser.Take(*rule, value)) {
            return false;
        }
    }
    return options->help || parser.CheckCombination();
}
