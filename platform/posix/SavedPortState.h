// What a POSIX port must put back when it is closed: the whole terminal state as it was found.
#pragma once

#include <termios.h>

#include "platform/posix/CustomBaudRate.h"

namespace platform {

struct SavedPortState {
    termios lineState;
    posix::OtherRates otherRates;
};

}  // namespace platform
