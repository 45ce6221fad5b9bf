#include "tools/teq6-sim/ReplyComposer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/teq6-sim/Wire.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Everything the transmission holds, and the chunks a writer would be handed.
struct Drained {
    Bytes bytes;
    std::vector<Bytes> chunks;
};

Drained Drain(Transmission* out) {
    Drained drained;
    while (!out->IsSent()) {
        const std::uint8_t* bytes = nullptr;
        const std::size_t length = out->NextChunk(&bytes);
        drained.chunks.emplace_back(bytes, bytes + length);
        drained.bytes.insert(drained.bytes.end(), bytes, bytes + length);
        out->Advance(length);
    }
    return drained;
}

Bytes Compose(const SimOptions& options, std::uint8_t reply, bool flood = false,
              bool staleTail = false) {
    ReplyComposer composer(options);
    Transmission out;
    EXPECT_TRUE(out.Reserve(composer.MaxLength()));
    composer.ComposeReply(reply, flood, staleTail, &out);
    return Drain(&out).bytes;
}

bool HoldsReplyByte(const Bytes& bytes) {
    return std::any_of(bytes.begin(), bytes.end(),
                       [](std::uint8_t b) { return b == wire::kAck || b == wire::kNak; });
}

bool IsPrintable(std::uint8_t byte) {
    return byte >= 0x20 && byte <= 0x7E;
}

TEST(SimReplyComposer, PlainReplyIsTheOneByte) {
    const SimOptions options;
    EXPECT_EQ(Compose(options, wire::kAck), Bytes{wire::kAck});
    EXPECT_EQ(Compose(options, wire::kNak), Bytes{wire::kNak});
}

TEST(SimReplyComposer, ChatterComesBeforeTheReplyAndNeverHoldsOne) {
    SimOptions options;
    options.text = "OK:";
    options.controlBytes = true;
    options.randomBytes = 5000;
    options.flood = 300;
    const Bytes bytes = Compose(options, wire::kNak, true);
    ASSERT_EQ(bytes.back(), wire::kNak);
    const Bytes chatter(bytes.begin(), bytes.end() - 1);
    EXPECT_FALSE(HoldsReplyByte(chatter));
    // The text leads, exactly as given.
    EXPECT_EQ(std::string(chatter.begin(), chatter.begin() + 3), "OK:");
    // The flood is printable text right before the reply.
    const Bytes flood(chatter.end() - options.flood, chatter.end());
    EXPECT_TRUE(std::all_of(flood.begin(), flood.end(), IsPrintable));
}

TEST(SimReplyComposer, ControlBytesCoverWhatATerminalDeviceSends) {
    SimOptions options;
    options.controlBytes = true;
    const Bytes bytes = Compose(options, wire::kAck);
    const Bytes chatter(bytes.begin(), bytes.end() - 1);
    for (std::uint8_t expected : {0x0D, 0x0A, 0x00, 0x7F, 0x07, 0x1B}) {
        EXPECT_NE(std::find(chatter.begin(), chatter.end(), expected), chatter.end())
            << "missing byte " << static_cast<int>(expected);
    }
    EXPECT_TRUE(
        std::any_of(chatter.begin(), chatter.end(), [](std::uint8_t b) { return b >= 0x80; }));
    EXPECT_FALSE(HoldsReplyByte(chatter));
}

TEST(SimReplyComposer, RandomBytesFollowTheSeed) {
    SimOptions options;
    options.randomBytes = 64;
    options.seed = 7;
    const Bytes first = Compose(options, wire::kAck);
    EXPECT_EQ(first.size(), 65u);
    EXPECT_EQ(Compose(options, wire::kAck), first);
    options.seed = 8;
    EXPECT_NE(Compose(options, wire::kAck), first);
}

TEST(SimReplyComposer, FloodOnlyWhenAsked) {
    SimOptions options;
    options.flood = 1000;
    EXPECT_EQ(Compose(options, wire::kAck, false).size(), 1u);
    EXPECT_EQ(Compose(options, wire::kAck, true).size(), 1001u);
}

TEST(SimReplyComposer, StaleTailLeavesWithTheReplyInOneWrite) {
    SimOptions options;
    options.text = "hello";
    ReplyComposer composer(options);
    Transmission out;
    ASSERT_TRUE(out.Reserve(composer.MaxLength()));
    composer.ComposeReply(wire::kAck, false, true, &out);
    const Drained drained = Drain(&out);
    ASSERT_EQ(drained.chunks.size(), 2u);
    EXPECT_EQ(std::string(drained.chunks[0].begin(), drained.chunks[0].end()), "hello");
    const Bytes& last = drained.chunks[1];
    ASSERT_GT(last.size(), 2u);
    EXPECT_EQ(last[0], wire::kAck);
    // Behind the ACK: a NAK and an ACK that the program must never take as its next reply.
    EXPECT_EQ(last[1], wire::kNak);
    EXPECT_EQ(last[2], wire::kAck);

    ReplyComposer::ComposeStale(&out);
    EXPECT_EQ(Drain(&out).bytes, Bytes(last.begin() + 1, last.end()));
}

TEST(SimReplyComposer, LargestReplyFitsItsReservation) {
    SimOptions options;
    options.text = "a text of some length";
    options.controlBytes = true;
    options.randomBytes = 100;
    options.flood = 100;
    ReplyComposer composer(options);
    Transmission out;
    ASSERT_TRUE(out.Reserve(composer.MaxLength()));
    composer.ComposeReply(wire::kAck, true, true, &out);
    EXPECT_EQ(Drain(&out).bytes.size(), composer.MaxLength());
}

}  // namespace
