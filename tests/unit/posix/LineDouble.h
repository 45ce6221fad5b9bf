// What a pseudo-terminal cannot be made to do as a serial driver does: hold a write past any wait,
// never run dry, keep bytes in its output queue, or run at another rate than the one asked for. The
// test binary defines poll() and ioctl() itself, so the port code's own calls come here first.
#pragma once

#include <atomic>
#include <cstdint>

namespace line_double {

// While set, a wait for room to write reports at once that none came, and records the wait asked;
// a device descriptor given in answerWhileHeld gets an ACK written to it first, once.
inline std::atomic<bool> holdWrites{false};
inline std::atomic<int> heldWaitMs{-1};
inline std::atomic<int> answerWhileHeld{-1};
// Set when the port's output queue alone is flushed (what a given-up write left).
inline std::atomic<bool> outputFlushed{false};
// While set, the port's input seems to hold a byte (a device that never stops talking); reads
// find none.
inline std::atomic<bool> keepReadable{false};
// While set, TIOCOUTQ reports a byte still queued.
inline std::atomic<bool> keepQueued{false};
// The rate the line seems to run at; 0 for the one it runs at.
inline std::atomic<std::uint32_t> reportedRate{0};

}  // namespace line_double
