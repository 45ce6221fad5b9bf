// What a pseudo-terminal cannot be made to do as a serial driver does: hold a write past any wait,
// never run dry, keep bytes in its output queue, or run at another rate than the one asked for. The
// test binary defines poll() and ioctl() itself, so the port code's own calls come here first.
#pragma once

#include <atomic>
#include <cstdint>

namespace line_double {

// While set, a wait for room to write reports at once that none came, and records the wait asked.
extern std::atomic<bool> holdWrites;
extern std::atomic<int> heldWaitMs;
// While set, the port's input seems to hold a byte (a device that never stops talking); reads
// find none.
extern std::atomic<bool> keepReadable;
// While set, TIOCOUTQ reports a byte still queued.
extern std::atomic<bool> keepQueued;
// The rate the line seems to run at; 0 for the one it runs at.
extern std::atomic<std::uint32_t> reportedRate;

}  // namespace line_double
