#include "tools/teq6-sim/DeviceModel.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

DataBlock GoodBlock(std::uint8_t fill) {
    DataBlock block{};
    for (std::size_t i = 0; i < kPayloadSize; ++i) {
        block.bytes[i] = static_cast<std::uint8_t>(fill + i);
    }
    StoreCheckWord(&block, CheckWordFor(block.bytes));
    return block;
}

DataBlock BadBlock() {
    DataBlock block = GoodBlock(3);
    StoreCheckWord(&block, static_cast<std::uint16_t>(StoredCheckWord(block) + 1));
    return block;
}

// "ACK", "NAK (fault)", "none (silent)": what the device did and why, in one comparable string.
std::string Describe(const Verdict& verdict) {
    std::string text = verdict.hangUp                   ? "hang-up"
                       : verdict.answer == Answer::kAck ? "ACK"
                       : verdict.answer == Answer::kNak ? "NAK"
                                                        : "none";
    if (verdict.reason != nullptr && !verdict.hangUp) {
        text += std::string(" (") + verdict.reason + ")";
    }
    return text;
}

std::string Position(const Verdict& verdict) {
    return std::to_string(verdict.number) + "." + std::to_string(verdict.attempt);
}

class Device {
  public:
    explicit Device(const SimOptions& options = SimOptions())
        : m_options(options), m_model(m_options) {}
    DeviceModel& model() { return m_model; }
    Verdict Connect() { return m_model.OnConnectRequest(); }

  private:
    SimOptions m_options;
    DeviceModel m_model;
};

TEST(SimDeviceModel, PlainSessionAnswersByTheCheckWord) {
    Device device;
    DeviceModel& model = device.model();
    EXPECT_FALSE(model.IsConnected());
    EXPECT_EQ(Describe(device.Connect()), "ACK");
    EXPECT_TRUE(model.IsConnected());
    EXPECT_EQ(Describe(model.OnBlock(GoodBlock(1))), "ACK");
    EXPECT_EQ(Describe(model.OnBlock(BadBlock())), "NAK (bad check word)");
    EXPECT_EQ(Describe(model.OnEndMessage()), "ACK");
    EXPECT_FALSE(model.IsConnected());
    model.OnFramingError();

    const SimCounters& counters = model.Counters();
    EXPECT_EQ(counters.messages, 4u);
    EXPECT_EQ(counters.connectRequests, 1u);
    EXPECT_EQ(counters.blocks, 2u);
    EXPECT_EQ(counters.acks, 3u);
    EXPECT_EQ(counters.naks, 1u);
    EXPECT_EQ(counters.blocksAccepted, 1u);
    EXPECT_EQ(counters.framingErrors, 1u);
    EXPECT_TRUE(counters.endMessage);
}

TEST(SimDeviceModel, RefusedBlocksKeepTheirNumberAndAcceptedOnesMoveOn) {
    Device device;
    DeviceModel& model = device.model();
    device.Connect();
    EXPECT_EQ(Position(model.OnBlock(BadBlock())), "1.1");
    EXPECT_EQ(Position(model.OnBlock(BadBlock())), "1.2");
    EXPECT_EQ(Position(model.OnBlock(GoodBlock(1))), "1.3");
    EXPECT_EQ(Position(model.OnBlock(GoodBlock(2))), "2.1");
    EXPECT_EQ(Position(model.OnBlock(BadBlock())), "3.1");
    // A connect request in the middle of a transfer starts the count again.
    device.Connect();
    EXPECT_EQ(Position(model.OnBlock(GoodBlock(1))), "1.1");
}

TEST(SimDeviceModel, SilentThenRefusedConnectRequests) {
    SimOptions options;
    options.silentConnects = 2;
    options.nakConnects = 1;
    Device device(options);
    std::vector<std::string> answers;
    for (int i = 0; i < 4; ++i) {
        answers.push_back(Describe(device.Connect()));
        EXPECT_EQ(device.model().IsConnected(), i == 3);
    }
    EXPECT_EQ(answers,
              (std::vector<std::string>{"none (silent)", "none (silent)", "NAK (fault)", "ACK"}));
    EXPECT_EQ(device.model().Counters().acks, 1u);
    EXPECT_EQ(device.model().Counters().naks, 1u);
}

TEST(SimDeviceModel, NakBlockFaultRefusesKTimesThenJudgesTheCheckWord) {
    SimOptions options;
    options.nakBlocks[0] = NakBlockFault{2, 2};
    options.nakBlocks[1] = NakBlockFault{3, 1};
    options.nakBlockCount = 2;
    Device device(options);
    DeviceModel& model = device.model();
    device.Connect();
    std::vector<std::string> answers;
    const DataBlock sent[] = {GoodBlock(1), GoodBlock(2), GoodBlock(2), BadBlock(),
                              GoodBlock(2), GoodBlock(3), GoodBlock(3)};
    for (const DataBlock& block : sent) {
        const Verdict verdict = model.OnBlock(block);
        answers.push_back(Position(verdict) + " " + Describe(verdict));
    }
    EXPECT_EQ(answers, (std::vector<std::string>{"1.1 ACK", "2.1 NAK (fault)", "2.2 NAK (fault)",
                                                 "2.3 NAK (bad check word)", "2.4 ACK",
                                                 "3.1 NAK (fault)", "3.2 ACK"}));
}

TEST(SimDeviceModel, IgnoredBlockIsNeverAnswered) {
    SimOptions options;
    options.ignoreBlock = 2;
    Device device(options);
    DeviceModel& model = device.model();
    device.Connect();
    EXPECT_EQ(Describe(model.OnBlock(GoodBlock(1))), "ACK");
    for (int attempt = 1; attempt <= 10; ++attempt) {
        const Verdict verdict = model.OnBlock(GoodBlock(2));
        EXPECT_EQ(Describe(verdict), "none (ignored)");
        EXPECT_EQ(verdict.attempt, static_cast<std::uint32_t>(attempt));
    }
    EXPECT_EQ(Describe(model.OnEndMessage()), "ACK");
}

TEST(SimDeviceModel, FallenSilentDeviceAnswersNothingAgain) {
    SimOptions options;
    options.fallSilent = true;
    options.fallSilentAfter = 2;
    Device device(options);
    DeviceModel& model = device.model();
    device.Connect();
    EXPECT_EQ(Describe(model.OnBlock(GoodBlock(1))), "ACK");
    EXPECT_EQ(Describe(model.OnBlock(GoodBlock(2))), "ACK");
    EXPECT_EQ(Describe(model.OnBlock(GoodBlock(3))), "none (fallen silent)");
    EXPECT_EQ(Describe(model.OnEndMessage()), "none (fallen silent)");
    EXPECT_EQ(Describe(device.Connect()), "none (fallen silent)");
    EXPECT_EQ(model.Counters().acks, 3u);
}

TEST(SimDeviceModel, FallingSilentAfterNoBlockMeansRightAfterTheConnection) {
    SimOptions options;
    options.fallSilent = true;
    Device device(options);
    EXPECT_EQ(Describe(device.Connect()), "ACK");
    EXPECT_EQ(Describe(device.model().OnBlock(GoodBlock(1))), "none (fallen silent)");
}

TEST(SimDeviceModel, HangsUpOnTheNthConnectRequest) {
    SimOptions options;
    options.hangupAfterConnects = 2;
    Device device(options);
    EXPECT_EQ(Describe(device.Connect()), "ACK");
    EXPECT_EQ(Describe(device.Connect()), "hang-up");
}

TEST(SimDeviceModel, HangUpInBlockPointsAtTheArrivingBlockOnly) {
    SimOptions options;
    options.hangupInBlock = 2;
    Device device(options);
    DeviceModel& model = device.model();
    EXPECT_FALSE(model.HangsUpInArrivingBlock());
    device.Connect();
    EXPECT_FALSE(model.HangsUpInArrivingBlock());
    model.OnBlock(BadBlock());
    EXPECT_FALSE(model.HangsUpInArrivingBlock());
    model.OnBlock(GoodBlock(1));
    EXPECT_TRUE(model.HangsUpInArrivingBlock());
    model.OnBlock(GoodBlock(2));
    EXPECT_FALSE(model.HangsUpInArrivingBlock());
}

TEST(SimDeviceModel, SummaryLine) {
    SimCounters counters;
    counters.messages = 7;
    counters.connectRequests = 2;
    counters.blocks = 4;
    counters.acks = 5;
    counters.naks = 1;
    counters.blocksAccepted = 3;
    counters.framingErrors = 1;
    char summary[kSummarySize];
    FormatSummary(counters, summary);
    EXPECT_STREQ(summary,
                 "messages: 7, connect requests: 2, blocks: 4, ACKs: 5, NAKs: 1, "
                 "blocks accepted: 3, framing errors: 1, end message: no");
    counters.endMessage = true;
    FormatSummary(counters, summary);
    EXPECT_NE(std::string(summary).find("end message: yes"), std::string::npos);
}

}  // namespace
