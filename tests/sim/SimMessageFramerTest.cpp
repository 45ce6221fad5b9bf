#include "tools/teq6-sim/MessageFramer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tools/teq6-sim/Wire.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Events = std::vector<FrameEvent>;
constexpr FrameEvent kNone = FrameEvent::kNone;
constexpr FrameEvent kConnect = FrameEvent::kConnectRequest;
constexpr FrameEvent kError = FrameEvent::kFramingError;

const Bytes kConnectBytes(wire::kConnectRequest, wire::kConnectRequest + wire::kConnectRequestSize);
const Bytes kEndBytes(wire::kEndMessage, wire::kEndMessage + wire::kEndMessageSize);

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes joined;
    for (const Bytes& part : parts) {
        joined.insert(joined.end(), part.begin(), part.end());
    }
    return joined;
}

// A block whose bytes differ from their neighbours, so that a shifted frame shows.
Bytes Block(std::uint8_t seed = 1) {
    Bytes block(kBlockSize);
    for (std::size_t i = 0; i < kBlockSize; ++i) {
        block[i] = static_cast<std::uint8_t>(i * 7 + seed);
    }
    return block;
}

// Every event that is not kNone, in order.
Events Feed(MessageFramer* framer, const Bytes& bytes) {
    Events events;
    for (std::uint8_t byte : bytes) {
        const FrameEvent event = framer->Feed(byte);
        if (event != kNone) {
            events.push_back(event);
        }
    }
    return events;
}

TEST(SimMessageFramer, CutsEachBurstIntoItsMessagesOrDropsItWhole) {
    const Bytes second = Block(2);
    const Bytes partConnect(kConnectBytes.begin(), kConnectBytes.end() - 1);
    const Bytes partEnd(kEndBytes.begin(), kEndBytes.end() - 1);
    // The bytes of a burst, whether the device is connected, the events while they arrive, and
    // what the silence after them makes of them.
    const struct Burst {
        const char* what;
        bool connected;
        Bytes bytes;
        Events events;
        FrameEvent atSilence;
    } bursts[] = {
        {"connect request", false, kConnectBytes, {kConnect}, kNone},
        {"three", false, Join({kConnectBytes, kConnectBytes, kConnectBytes}), Events(3, kConnect),
         kNone},
        // The burst holds a whole connect request; it is not hunted out of the noise.
        {"noise first", false, Join({{0x41, 0x03, 0x12}, kConnectBytes}), {}, kError},
        {"part of a connect request", false, partConnect, {}, kError},
        {"block before the connection", false, Block(), {}, kError},
        {"end message after the session", false, kEndBytes, {}, kError},
        // A block may begin like either short message, so those count only at the silence (every
        // end-to-end download frames such blocks back to back, and an end message).
        {"repeated connect request", true, kConnectBytes, {}, kConnect},
        {"half a block", true, Bytes(kBlockSize / 2, 0x5A), {}, kError},
        {"part of the end message", true, partEnd, {}, kError},
        {"end message and one more byte", true, Join({kEndBytes, {0x00}}), {}, kError},
    };
    for (const Burst& burst : bursts) {
        SCOPED_TRACE(burst.what);
        MessageFramer framer;
        framer.SetConnected(burst.connected);
        EXPECT_EQ(Feed(&framer, burst.bytes), burst.events);
        EXPECT_EQ(framer.IsAssembling(), burst.atSilence != kNone);
        EXPECT_EQ(framer.IdleGap(), burst.atSilence);
        EXPECT_EQ(framer.DiscardedLength(), burst.atSilence == kError ? burst.bytes.size() : 0u);
        EXPECT_EQ(framer.IdleGap(), kNone) << "a second silence ends nothing";
        // After the silence the next message is framed from its first byte.
        const Bytes next = burst.connected ? second : kConnectBytes;
        EXPECT_EQ(Feed(&framer, next), Events{burst.connected ? FrameEvent::kBlock : kConnect});
        if (burst.connected) {
            EXPECT_EQ(Bytes(framer.LastBlock().bytes, framer.LastBlock().bytes + kBlockSize),
                      second);
        }
    }
}

}  // namespace
