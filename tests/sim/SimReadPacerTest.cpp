#include "tools/teq6-sim/ReadPacer.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

// Reads everything allowed, millisecond by millisecond, over a simulated stretch of time.
std::size_t ReadFor(ReadPacer* pacer, std::uint64_t fromMs, std::uint64_t toMs) {
    std::size_t total = 0;
    for (std::uint64_t now = fromMs; now < toMs; ++now) {
        const std::size_t allowed = pacer->Allowance(now);
        pacer->Consume(allowed);
        total += allowed;
    }
    return total;
}

TEST(SimReadPacer, HoldsAFullLineToItsBaudRate) {
    ReadPacer pacer(9600);  // 960 bytes a second
    const std::size_t firstSecond = ReadFor(&pacer, 0, 1000);
    EXPECT_GE(firstSecond, 955u);
    EXPECT_LE(firstSecond, 962u);
    const std::size_t tenSeconds = ReadFor(&pacer, 1000, 11000);
    EXPECT_GE(tenSeconds, 9590u);
    EXPECT_LE(tenSeconds, 9601u);
}

TEST(SimReadPacer, PausesDoNotBankMoreThanAShortBurst) {
    ReadPacer pacer(115200);  // 11,520 bytes a second
    pacer.Consume(pacer.Allowance(0));
    // An hour of silence, then the line is read at once: only about 20 ms worth may go.
    const std::size_t burst = pacer.Allowance(3600u * 1000u);
    EXPECT_GE(burst, 200u);
    EXPECT_LE(burst, 240u);
}

TEST(SimReadPacer, SlowLineSaysWhenTheNextByteMayBeRead) {
    ReadPacer pacer(100);  // 10 bytes a second
    pacer.Consume(pacer.Allowance(0));
    EXPECT_EQ(pacer.Allowance(0), 0u);
    const std::uint64_t wait = pacer.MsUntilNextByte();
    EXPECT_EQ(wait, 100u);
    EXPECT_EQ(pacer.Allowance(wait - 1), 0u);
    EXPECT_EQ(pacer.Allowance(wait), 1u);
}

TEST(SimReadPacer, UnpacedReadsWithoutLimit) {
    ReadPacer pacer(0);
    EXPECT_GT(pacer.Allowance(0), 1000000u);
    pacer.Consume(1000000);
    EXPECT_GT(pacer.Allowance(0), 1000000u);
    EXPECT_EQ(pacer.MsUntilNextByte(), 0u);
}

}  // namespace
