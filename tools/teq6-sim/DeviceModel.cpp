#include "tools/teq6-sim/DeviceModel.h"

namespace {
constexpr const char* kFallenSilent = "fallen silent";
}  // namespace

Verdict DeviceModel::OnConnectRequest() {
    ++m_counters.messages;
    ++m_counters.connectRequests;
    const std::uint32_t number = m_counters.connectRequests;
    if (number == m_options.hangupAfterConnects) {
        return Verdict{Answer::kNone, "hang-up", true, number, 0};
    }
    if (m_fallenSilent) {
        return Judge(Answer::kNone, kFallenSilent, number, 0);
    }
    if (number <= m_options.silentConnects) {
        return Judge(Answer::kNone, "silent", number, 0);
    }
    if (number - m_options.silentConnects <= m_options.nakConnects) {
        return Judge(Answer::kNak, "fault", number, 0);
    }
    StartSession();
    return Judge(Answer::kAck, nullptr, number, 0);
}

Verdict DeviceModel::OnBlock(const DataBlock& block) {
    ++m_counters.messages;
    ++m_counters.blocks;
    ++m_attempt;
    const std::uint32_t number = m_acceptedInSession + 1;
    if (m_fallenSilent) {
        return Judge(Answer::kNone, kFallenSilent, number, m_attempt);
    }
    if (number == m_options.ignoreBlock) {
        return Judge(Answer::kNone, "ignored", number, m_attempt);
    }
    if (NaksByFault(number, m_attempt)) {
        return Judge(Answer::kNak, "fault", number, m_attempt);
    }
    if (!IsValid(&block)) {
        return Judge(Answer::kNak, "bad check word", number, m_attempt);
    }
    const Verdict verdict = Judge(Answer::kAck, nullptr, number, m_attempt);
    Accept();
    return verdict;
}

Verdict DeviceModel::OnEndMessage() {
    ++m_counters.messages;
    m_counters.endMessage = true;
    if (m_fallenSilent) {
        return Judge(Answer::kNone, kFallenSilent, 0, 0);
    }
    m_connected = false;
    return Judge(Answer::kAck, nullptr, 0, 0);
}

bool DeviceModel::HangsUpInArrivingBlock() const {
    return m_connected && m_options.hangupInBlock != 0 &&
           m_acceptedInSession + 1 == m_options.hangupInBlock;
}

Verdict DeviceModel::Judge(Answer answer, const char* reason, std::uint32_t number,
                           std::uint32_t attempt) {
    if (answer == Answer::kAck) {
        ++m_counters.acks;
    } else if (answer == Answer::kNak) {
        ++m_counters.naks;
    }
    return Verdict{answer, reason, false, number, attempt};
}

bool DeviceModel::NaksByFault(std::uint32_t block, std::uint32_t attempt) const {
    for (std::size_t i = 0; i < m_options.nakBlockCount; ++i) {
        const NakBlockFault& fault = m_options.nakBlocks[i];
        if (fault.block == block && attempt <= fault.count) {
            return true;
        }
    }
    return false;
}

// A connect request acknowledged, even in the middle of a transfer, means the program has
// started over: the blocks count from 1 again.
void DeviceModel::StartSession() {
    m_connected = true;
    m_acceptedInSession = 0;
    m_attempt = 0;
    m_fallenSilent = m_options.fallSilent && m_options.fallSilentAfter == 0;
}

void DeviceModel::Accept() {
    ++m_counters.blocksAccepted;
    ++m_acceptedInSession;
    m_attempt = 0;
    if (m_options.fallSilent && m_acceptedInSession == m_options.fallSilentAfter) {
        m_fallenSilent = true;
    }
}
