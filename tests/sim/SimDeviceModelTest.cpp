#include "tools/teq6-sim/DeviceModel.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using Answers = std::vector<std::string>;

DataBlock Block(bool good) {
    DataBlock block{};
    block.bytes[0] = 3;
    StoreCheckWord(&block, static_cast<std::uint16_t>(CheckWordFor(block.bytes) + (good ? 0 : 1)));
    return block;
}

// Plays the program's side: C a connect request, G a good block, B a block with a bad check
// word, E the end message, ? the device's state. Each answer reads
// "<number>.<attempt> <answer> (<reason>)": a connect request is numbered over the device's life
// with attempt 0, a block within its session, the end message 0.0.
Answers Play(DeviceModel* model, const char* steps) {
    Answers answers;
    for (const char* step = steps; *step != '\0'; ++step) {
        if (*step == '?') {
            answers.push_back(std::string(model->IsConnected() ? "connected" : "unconnected") +
                              (model->HangsUpInArrivingBlock() ? ", hang-up due" : ""));
            continue;
        }
        const Verdict verdict = *step == 'C'   ? model->OnConnectRequest()
                                : *step == 'E' ? model->OnEndMessage()
                                               : model->OnBlock(Block(*step == 'G'));
        const char* const names[] = {"ACK", "NAK", "none"};  // in Answer's order
        answers.push_back(std::to_string(verdict.number) + "." + std::to_string(verdict.attempt) +
                          " " + names[static_cast<int>(verdict.answer)] +
                          (verdict.reason ? std::string(" (") + verdict.reason + ")" : ""));
    }
    return answers;
}

TEST(SimDeviceModel, AnswersByTheCheckWordAndPlaysEachFault) {
    const struct {
        const char* what;
        void (*ask)(SimOptions*);
        const char* steps;
        Answers answers;
    } faults[] = {
        // Silent and refused connect requests, an ignored block and hang-ups show in the
        // end-to-end consoles. Refused blocks keep their number; a connect request mid-transfer
        // starts the count again.
        {"no fault",
         [](SimOptions*) {},
         "?C?BBGGCGE?",
         {"unconnected", "1.0 ACK", "connected", "1.1 NAK (bad check word)",
          "1.2 NAK (bad check word)", "1.3 ACK", "2.1 ACK", "2.0 ACK", "1.1 ACK", "0.0 ACK",
          "unconnected"}},
        {"block 2 refused twice, block 3 once; the check word judged after the fault",
         [](SimOptions* o) {
             o->nakBlocks[0] = NakBlockFault{2, 2};
             o->nakBlocks[1] = NakBlockFault{3, 1};
             o->nakBlockCount = 2;
         },
         "CGGGBGGG",
         {"1.0 ACK", "1.1 ACK", "2.1 NAK (fault)", "2.2 NAK (fault)", "2.3 NAK (bad check word)",
          "2.4 ACK", "3.1 NAK (fault)", "3.2 ACK"}},
        {"silent after two blocks, for good",
         [](SimOptions* o) { o->fallSilent = true, o->fallSilentAfter = 2; },
         "CGGGEC",
         {"1.0 ACK", "1.1 ACK", "2.1 ACK", "3.1 none (fallen silent)", "0.0 none (fallen silent)",
          "2.0 none (fallen silent)"}},
        {"silent after no block: right after the connection",
         [](SimOptions* o) { o->fallSilent = true; },
         "CG",
         {"1.0 ACK", "1.1 none (fallen silent)"}},
    };
    for (const auto& fault : faults) {
        SimOptions options;
        fault.ask(&options);
        DeviceModel model(options);
        EXPECT_EQ(Play(&model, fault.steps), fault.answers) << fault.what;
    }
}

}  // namespace
