// poll() as every wait of this layer needs it: resumed after a signal instead of failing with
// EINTR, and a finite time-out kept as a whole across such resumptions.
#pragma once

#include <poll.h>

#include <cstdint>

namespace platform {
namespace posix {

// As poll(): the number of ready descriptors, or -1 when polling itself failed.
int PollWithoutLimit(pollfd* descriptors, nfds_t count);

// As poll(); 0 when timeoutMs passed with nothing ready.
int PollWithin(pollfd* descriptors, nfds_t count, std::uint32_t timeoutMs);

}  // namespace posix
}  // namespace platform
