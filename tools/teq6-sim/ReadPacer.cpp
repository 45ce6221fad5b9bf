#include "tools/teq6-sim/ReadPacer.h"

#include <algorithm>
#include <limits>

std::size_t ReadPacer::Allowance(std::uint64_t nowMs) {
    if (m_bytesPerSecond == 0) {
        return std::numeric_limits<std::size_t>::max();
    }
    if (m_started && nowMs > m_lastMs) {
        // A second's worth fills the bucket whatever the rate; longer pauses add nothing.
        const std::uint64_t elapsed = std::min(nowMs - m_lastMs, kMsPerSecond);
        m_credit = std::min(MaxCredit(), m_credit + elapsed * m_bytesPerSecond);
    }
    m_lastMs = nowMs;
    m_started = true;
    return static_cast<std::size_t>(m_credit / kByteCost);
}

void ReadPacer::Consume(std::size_t bytes) {
    if (m_bytesPerSecond == 0) {
        return;
    }
    m_credit -= std::min<std::uint64_t>(m_credit, bytes * kByteCost);
}

std::uint64_t ReadPacer::MsUntilNextByte() const {
    if (m_bytesPerSecond == 0 || m_credit >= kByteCost) {
        return 0;
    }
    const std::uint64_t missing = kByteCost - m_credit;
    return (missing + m_bytesPerSecond - 1) / m_bytesPerSecond;
}

std::uint64_t ReadPacer::MaxCredit() const {
    return std::max(kByteCost, kBurstMs * m_bytesPerSecond);
}
