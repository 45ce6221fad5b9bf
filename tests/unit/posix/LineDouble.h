// What a pseudo-terminal cannot be made to do as a serial driver does: hold a write past any wait,
// never run dry, keep bytes in its output queue, or run at another rate than the one asked for. The
// test binary defines poll() and ioctl() itself, so the port code's own calls come here first.
#pragma once

#include <cstdint>

namespace line_double {

// While held, a wait for room to write reports that none came, at once.
void HoldWrites(bool hold);
// How long the last held wait was asked to wait, in milliseconds.
int HeldWaitMs();
// While kept, a wait for the port's input reports a byte there, at once (a device that never
// stops talking); the read itself then finds none.
void KeepReadable(bool keep);
// While kept, TIOCOUTQ reports a byte still queued.
void KeepOutputQueued(bool keep);
// The rate TCGETS2 reports from now on; 0 for the one the line runs at.
void ReportRate(std::uint32_t rate);

}  // namespace line_double
