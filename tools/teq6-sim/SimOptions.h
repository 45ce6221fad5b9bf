// What the simulator was asked to be: which line it serves, and which faults it plays.
#pragma once

#include <cstddef>
#include <cstdint>

// Refuse block B the first K times it arrives.
struct NakBlockFault {
    std::uint32_t block;
    std::uint32_t count;
};

struct SimOptions {
    static constexpr std::size_t kMaxNakBlockFaults = 32;
    static constexpr std::uint32_t kDefaultBaudRate = 115200;
    static constexpr std::uint32_t kDefaultIdleGapMs = 200;
    static constexpr std::uint32_t kDefaultSeed = 1;

    const char* linkPath = nullptr;
    const char* devicePath = nullptr;
    std::uint32_t baudRate = kDefaultBaudRate;
    bool baudRateGiven = false;
    std::uint32_t idleGapMs = kDefaultIdleGapMs;

    std::uint32_t silentConnects = 0;
    std::uint32_t nakConnects = 0;
    NakBlockFault nakBlocks[kMaxNakBlockFaults] = {};
    std::size_t nakBlockCount = 0;
    std::uint32_t ignoreBlock = 0;  // 0: none; blocks count from 1
    std::uint32_t lateMs = 0;
    const char* text = nullptr;
    bool controlBytes = false;
    std::uint32_t flood = 0;
    std::uint32_t randomBytes = 0;
    std::uint32_t seed = kDefaultSeed;
    bool stale = false;
    std::uint32_t hangupInBlock = 0;        // 0: none
    std::uint32_t hangupAfterConnects = 0;  // 0: none
    bool fallSilent = false;
    std::uint32_t fallSilentAfter = 0;  // blocks acknowledged before the silence; 0 is allowed
    std::uint32_t paceBaud = 0;         // 0: read as fast as the bytes come
    // States another program may leave on the line before telvorn opens it (pseudo-terminal).
    bool leaveMinFour = false;
    bool leaveSoftwareFlowControl = false;
    bool xoff = false;
    // A device that stayed on while its adapter was unplugged: the session goes on.
    bool startConnected = false;
    std::uint32_t stopOutputAt = 0;         // 0: never; blocks count from 1
    std::uint32_t resumeOutputAfterMs = 0;  // 0: never

    const char* recordPath = nullptr;
    bool quiet = false;
    bool stay = false;
    bool help = false;
};

// Fills options from argv[1..argc-1]. On a mistake, returns false with a one-line explanation in
// error. The texts in options point into argv.
bool ParseSimOptions(int argc, const char* const* argv, SimOptions* options, char* error,
                     std::size_t errorSize);
