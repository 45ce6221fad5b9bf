#include "tools/teq6-sim/MessageFramer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "tools/teq6-sim/Wire.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kConnect(wire::kConnectRequest, wire::kConnectRequest + wire::kConnectRequestSize);
const Bytes kEnd(wire::kEndMessage, wire::kEndMessage + wire::kEndMessageSize);

// A block whose bytes all differ from their neighbours, so a shifted frame shows.
Bytes BlockStartingWith(const Bytes& start) {
    Bytes block(kBlockSize);
    for (std::size_t i = 0; i < kBlockSize; ++i) {
        block[i] = static_cast<std::uint8_t>(i * 7 + 1);
    }
    std::copy(start.begin(), start.end(), block.begin());
    return block;
}

// Every event that is not kNone, in order.
std::vector<FrameEvent> Feed(MessageFramer* framer, const Bytes& bytes) {
    std::vector<FrameEvent> events;
    for (std::uint8_t byte : bytes) {
        const FrameEvent event = framer->Feed(byte);
        if (event != FrameEvent::kNone) {
            events.push_back(event);
        }
    }
    return events;
}

using Events = std::vector<FrameEvent>;

class SimConnectedFramer : public ::testing::Test {
  protected:
    void SetUp() override { framer.SetConnected(true); }
    MessageFramer framer;
};

TEST(SimMessageFramer, ConnectRequestCountsAtItsLastByteBeforeTheConnection) {
    MessageFramer framer;
    const Bytes first(kConnect.begin(), kConnect.end() - 1);
    EXPECT_EQ(Feed(&framer, first), Events{});
    EXPECT_TRUE(framer.IsAssembling());
    EXPECT_EQ(framer.Feed(kConnect.back()), FrameEvent::kConnectRequest);
    EXPECT_FALSE(framer.IsAssembling());
    EXPECT_EQ(framer.IdleGap(), FrameEvent::kNone);
}

TEST(SimMessageFramer, RepeatedConnectRequestsBeforeTheConnection) {
    MessageFramer framer;
    Bytes three = kConnect;
    three.insert(three.end(), kConnect.begin(), kConnect.end());
    three.insert(three.end(), kConnect.begin(), kConnect.end());
    EXPECT_EQ(Feed(&framer, three), Events(3, FrameEvent::kConnectRequest));
}

TEST(SimMessageFramer, NoiseBeforeTheConnectionIsDroppedUpToTheSilence) {
    MessageFramer framer;
    // The noise holds a whole connect request; it is not hunted out of the burst.
    Bytes noise = {0x41, 0x03, 0x12};
    noise.insert(noise.end(), kConnect.begin(), kConnect.end());
    EXPECT_EQ(Feed(&framer, noise), Events{});
    EXPECT_TRUE(framer.IsAssembling());
    EXPECT_EQ(framer.IdleGap(), FrameEvent::kFramingError);
    EXPECT_EQ(framer.DiscardedLength(), noise.size());
    EXPECT_EQ(Feed(&framer, kConnect), Events{FrameEvent::kConnectRequest});
}

TEST(SimMessageFramer, PartialConnectRequestFollowedBySilenceIsAFramingError) {
    MessageFramer framer;
    EXPECT_EQ(Feed(&framer, Bytes(kConnect.begin(), kConnect.begin() + 3)), Events{});
    EXPECT_EQ(framer.IdleGap(), FrameEvent::kFramingError);
    EXPECT_EQ(framer.DiscardedLength(), 3u);
    EXPECT_EQ(framer.IdleGap(), FrameEvent::kNone);
    EXPECT_EQ(Feed(&framer, kConnect), Events{FrameEvent::kConnectRequest});
}

TEST(SimMessageFramer, BlockBeforeTheConnectionIsOneFramingError) {
    MessageFramer framer;
    EXPECT_EQ(Feed(&framer, BlockStartingWith({})), Events{});
    EXPECT_EQ(framer.IdleGap(), FrameEvent::kFramingError);
    EXPECT_EQ(framer.DiscardedLength(), kBlockSize);
}

TEST_F(SimConnectedFramer, BlockCountsAtItsLastByteWithItsBytesIntact) {
    const Bytes block = BlockStartingWith({});
    const Bytes allButLast(block.begin(), block.end() - 1);
    EXPECT_EQ(Feed(&framer, allButLast), Events{});
    EXPECT_EQ(framer.PendingLength(), kBlockSize - 1);
    EXPECT_EQ(framer.Feed(block.back()), FrameEvent::kBlock);
    EXPECT_EQ(Bytes(framer.LastBlock().bytes, framer.LastBlock().bytes + kBlockSize), block);
    EXPECT_EQ(framer.PendingLength(), 0u);
    EXPECT_EQ(framer.IdleGap(), FrameEvent::kNone);
}

TEST_F(SimConnectedFramer, BlocksBackToBackStayAligned) {
    const Bytes first = BlockStartingWith({0x11});
    const Bytes second = BlockStartingWith({0x22});
    Bytes both = first;
    both.insert(both.end(), second.begin(), second.end());
    std::vector<Bytes> seen;
    for (std::uint8_t byte : both) {
        if (framer.Feed(byte) == FrameEvent::kBlock) {
            seen.emplace_back(framer.LastBlock().bytes, framer.LastBlock().bytes + kBlockSize);
        }
    }
    EXPECT_EQ(seen, (std::vector<Bytes>{first, second}));
}

TEST_F(SimConnectedFramer, ShortMessagesCountOnlyAfterTheSilence) {
    EXPECT_EQ(Feed(&framer, kEnd), Events{});
    EXPECT_EQ(framer.IdleGap(), FrameEvent::kEndMessage);
    EXPECT_EQ(Feed(&framer, kConnect), Events{});
    EXPECT_EQ(framer.IdleGap(), FrameEvent::kConnectRequest);
}

TEST_F(SimConnectedFramer, BlockBeginningLikeAShortMessageIsABlock) {
    for (const Bytes& start : {kEnd, kConnect}) {
        EXPECT_EQ(Feed(&framer, BlockStartingWith(start)), Events{FrameEvent::kBlock});
        EXPECT_EQ(framer.IdleGap(), FrameEvent::kNone);
    }
}

TEST_F(SimConnectedFramer, IncompleteMessagesAreDroppedAtTheSilence) {
    const Bytes half(kBlockSize / 2, 0x5A);
    Bytes endMessageAndMore = kEnd;
    endMessageAndMore.push_back(0x00);
    for (const Bytes& bytes : {half, Bytes(kEnd.begin(), kEnd.end() - 1), endMessageAndMore}) {
        EXPECT_EQ(Feed(&framer, bytes), Events{});
        EXPECT_EQ(framer.IdleGap(), FrameEvent::kFramingError);
        EXPECT_EQ(framer.DiscardedLength(), bytes.size());
    }
    // After the silence the next block is framed from its first byte.
    const Bytes block = BlockStartingWith({});
    EXPECT_EQ(Feed(&framer, block), Events{FrameEvent::kBlock});
    EXPECT_EQ(Bytes(framer.LastBlock().bytes, framer.LastBlock().bytes + kBlockSize), block);
}

TEST_F(SimConnectedFramer, AfterTheSessionOnlyConnectRequestsCountAgain) {
    framer.SetConnected(false);
    EXPECT_EQ(Feed(&framer, kEnd), Events{});
    EXPECT_EQ(framer.IdleGap(), FrameEvent::kFramingError);
    EXPECT_EQ(Feed(&framer, kConnect), Events{FrameEvent::kConnectRequest});
}

}  // namespace
