// Answers decided but not yet due: a late device holds every answer back, and stale bytes follow
// an answer after a while. Kept in order of their time; the program waits for each answer, so a
// handful is all that can be outstanding.
#pragma once

#include <cstddef>
#include <cstdint>

struct ScheduledAnswer {
    std::uint64_t dueMs;
    // Only stale bytes, no reply.
    bool staleOnly;
    std::uint8_t reply;
    bool flood;
    bool staleTail;
};

class ReplySchedule {
  public:
    static constexpr std::size_t kCapacity = 16;

    ReplySchedule() = default;
    ReplySchedule(const ReplySchedule&) = delete;
    ReplySchedule& operator=(const ReplySchedule&) = delete;
    virtual ~ReplySchedule() = default;

    // False when full. Answers due at the same time keep the order they were added in.
    bool Add(const ScheduledAnswer& answer);
    bool IsEmpty() const { return m_count == 0; }
    // The earliest; only when not empty.
    const ScheduledAnswer& Next() const { return m_answers[0]; }
    void RemoveNext();

  private:
    ScheduledAnswer m_answers[kCapacity] = {};
    std::size_t m_count = 0;
};
