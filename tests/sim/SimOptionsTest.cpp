#include "tools/teq6-sim/SimOptions.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace {

struct Parsed {
    bool ok;
    SimOptions options;
    std::string error;
};

Parsed Parse(std::initializer_list<const char*> arguments) {
    std::vector<const char*> argv = {"teq6-sim"};
    argv.insert(argv.end(), arguments);
    Parsed parsed{};
    char error[256] = {};
    parsed.ok = ParseSimOptions(static_cast<int>(argv.size()), argv.data(), &parsed.options, error,
                                sizeof(error));
    parsed.error = error;
    return parsed;
}

TEST(SimOptions, Defaults) {
    const Parsed parsed = Parse({});
    ASSERT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.options.linkPath, nullptr);
    EXPECT_EQ(parsed.options.devicePath, nullptr);
    EXPECT_EQ(parsed.options.idleGapMs, 200u);
    EXPECT_EQ(parsed.options.nakBlockCount, 0u);
    EXPECT_FALSE(parsed.options.fallSilent);
}

TEST(SimOptions, EveryOptionReachesItsField) {
    const Parsed parsed = Parse({"--link",
                                 "dev/ttyUSB0",
                                 "--idle-gap-ms",
                                 "50",
                                 "--silent-connects",
                                 "2",
                                 "--nak-connects",
                                 "3",
                                 "--nak-block",
                                 "4:5",
                                 "--ignore-block",
                                 "6",
                                 "--late-ms",
                                 "700",
                                 "--text",
                                 "OK:",
                                 "--control-bytes",
                                 "--flood",
                                 "800",
                                 "--random-bytes",
                                 "9",
                                 "--seed",
                                 "10",
                                 "--stale",
                                 "--hangup-in-block",
                                 "11",
                                 "--hangup-after-connects",
                                 "12",
                                 "--fall-silent-after",
                                 "0",
                                 "--pace-baud",
                                 "9600",
                                 "--record",
                                 "got.bin",
                                 "--quiet",
                                 "--stay"});
    ASSERT_TRUE(parsed.ok) << parsed.error;
    const SimOptions& o = parsed.options;
    EXPECT_STREQ(o.linkPath, "dev/ttyUSB0");
    EXPECT_EQ(o.idleGapMs, 50u);
    EXPECT_EQ(o.silentConnects, 2u);
    EXPECT_EQ(o.nakConnects, 3u);
    ASSERT_EQ(o.nakBlockCount, 1u);
    EXPECT_EQ(o.nakBlocks[0].block, 4u);
    EXPECT_EQ(o.nakBlocks[0].count, 5u);
    EXPECT_EQ(o.ignoreBlock, 6u);
    EXPECT_EQ(o.lateMs, 700u);
    EXPECT_STREQ(o.text, "OK:");
    EXPECT_TRUE(o.controlBytes);
    EXPECT_EQ(o.flood, 800u);
    EXPECT_EQ(o.randomBytes, 9u);
    EXPECT_EQ(o.seed, 10u);
    EXPECT_TRUE(o.stale);
    EXPECT_EQ(o.hangupInBlock, 11u);
    EXPECT_EQ(o.hangupAfterConnects, 12u);
    EXPECT_TRUE(o.fallSilent);
    EXPECT_EQ(o.fallSilentAfter, 0u);
    EXPECT_EQ(o.paceBaud, 9600u);
    EXPECT_STREQ(o.recordPath, "got.bin");
    EXPECT_TRUE(o.quiet);
    EXPECT_TRUE(o.stay);
}

TEST(SimOptions, NakBlockRepeats) {
    const Parsed parsed = Parse({"--nak-block", "2:1", "--nak-block", "7:3"});
    ASSERT_TRUE(parsed.ok);
    ASSERT_EQ(parsed.options.nakBlockCount, 2u);
    EXPECT_EQ(parsed.options.nakBlocks[1].block, 7u);
    EXPECT_EQ(parsed.options.nakBlocks[1].count, 3u);
}

TEST(SimOptions, DeviceTakesABaudRate) {
    const Parsed parsed = Parse({"--device", "/dev/ttyUSB1", "--baud", "9600"});
    ASSERT_TRUE(parsed.ok);
    EXPECT_STREQ(parsed.options.devicePath, "/dev/ttyUSB1");
    EXPECT_EQ(parsed.options.baudRate, 9600u);
}

TEST(SimOptions, MistakesAreRefusedWithTheirReason) {
    const struct {
        std::initializer_list<const char*> arguments;
        const char* reason;
    } cases[] = {
        {{"--frobnicate"}, "unknown option"},
        {{"stray"}, "unknown option"},
        {{"--late-ms"}, "needs a value"},
        {{"--late-ms", "-5"}, "not a whole number"},
        {{"--late-ms", "12x"}, "not a whole number"},
        {{"--late-ms", " 12"}, "not a whole number"},
        {{"--seed", "4294967296"}, "not a whole number"},
        {{"--ignore-block", "0"}, "not a whole number from 1"},
        {{"--idle-gap-ms", "0"}, "not a whole number from 1"},
        {{"--flood", "99999999"}, "not a whole number"},
        {{"--nak-block", "3"}, "not B:K"},
        {{"--nak-block", "3:"}, "not B:K"},
        {{"--nak-block", "0:1"}, "not B:K"},
        {{"--nak-block", "2:0"}, "not B:K"},
        {{"--nak-block", "2:1x"}, "not B:K"},
        {{"--text", "bell\a"}, "printable"},
        {{"--text", "\x06"}, "printable"},
        {{"--link", "a", "--device", "b"}, "exclude each other"},
        {{"--baud", "9600"}, "needs --device"},
    };
    for (const auto& c : cases) {
        const Parsed parsed = Parse(c.arguments);
        EXPECT_FALSE(parsed.ok) << *c.arguments.begin();
        EXPECT_NE(parsed.error.find(c.reason), std::string::npos)
            << *c.arguments.begin() << ": " << parsed.error;
    }
}

TEST(SimOptions, NakBlockFaultsAreBounded) {
    std::vector<const char*> argv = {"teq6-sim"};
    for (std::size_t i = 0; i <= SimOptions::kMaxNakBlockFaults; ++i) {
        argv.push_back("--nak-block");
        argv.push_back("1:1");
    }
    SimOptions options;
    char error[256] = {};
    EXPECT_FALSE(ParseSimOptions(static_cast<int>(argv.size()), argv.data(), &options, error,
                                 sizeof(error)));
    EXPECT_EQ(options.nakBlockCount, SimOptions::kMaxNakBlockFaults);
}

}  // namespace
