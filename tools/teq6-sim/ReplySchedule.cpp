#include "tools/teq6-sim/ReplySchedule.h"

bool ReplySchedule::Add(const ScheduledAnswer& answer) {
    if (m_count == kCapacity) {
        return false;
    }
    std::size_t at = m_count;
    while (at > 0 && m_answers[at - 1].dueMs > answer.dueMs) {
        m_answers[at] = m_answers[at - 1];
        --at;
    }
    m_answers[at] = answer;
    ++m_count;
    return true;
}

void ReplySchedule::RemoveNext() {
    for (std::size_t i = 1; i < m_count; ++i) {
        m_answers[i - 1] = m_answers[i];
    }
    --m_count;
}
