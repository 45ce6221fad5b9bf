// The ports this process holds in exclusive mode, put back as they were found on every way out:
// a normal close, the end of the process, and every signal whose default action ends it. Without
// this a pseudo-terminal stays exclusive, and refuses the next run, until its other end goes away,
// and a real port keeps our raw settings and rate.
#pragma once

#include <signal.h>
#include <termios.h>

#include "platform/posix/CustomBaudRate.h"

namespace platform {
namespace posix {

// Remembers a port just put in exclusive mode; false when no more can be remembered.
bool RememberHeldPort(int descriptor);

// The line state to put back on this held port if the process ends while it is open.
void RememberLineState(int descriptor, const termios& lineState, const OtherRates& otherRates);

bool IsHeldPort(int descriptor);

// Blocks, in the calling thread, the signals sent to the process whose handler puts the ports
// back; previous gets the mask to restore. A thread started meanwhile inherits the block, so for
// them the handler only ever runs on the thread that opens and closes ports, never beside it. A
// fault stays unblocked: the faulting thread runs the handler, or the process would end without
// it.
bool BlockEndingSignals(sigset_t* previous);

// The port is being closed (its state was put back by the closer) or is gone: nothing is left
// to put back on it.
void ForgetHeldPort(int descriptor);

}  // namespace posix
}  // namespace platform
