// Puts together what the device sends for one answer: the chatter it was asked to make (a fixed
// text, control bytes, random bytes, a flood of text), then the reply byte, then, after an ACK,
// stale bytes the program must throw away. Chatter never holds an ACK or a NAK byte: the program
// would take it for the reply.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>

#include "tools/teq6-sim/SimOptions.h"
#include "tools/teq6-sim/Transmission.h"

class ReplyComposer {
  public:
    explicit ReplyComposer(const SimOptions& options);
    ReplyComposer(const ReplyComposer&) = delete;
    ReplyComposer& operator=(const ReplyComposer&) = delete;
    virtual ~ReplyComposer() = default;

    // The longest transmission Compose can make, flood and stale bytes included.
    std::size_t MaxLength() const;

    void ComposeReply(std::uint8_t reply, bool flood, bool staleTail, Transmission* out);
    // Stale bytes on their own, sent a while after an answer.
    static void ComposeStale(Transmission* out);

  private:
    void AppendRandomBytes(Transmission* out);
    void AppendFlood(Transmission* out) const;

    const SimOptions& m_options;
    std::size_t m_textLength;
    std::mt19937 m_random;
};
