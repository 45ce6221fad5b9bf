// Opening a device file never waits here (the port is opened non-blocking), so the probes simply
// run one after the other.
#include "platform/Port.h"

namespace platform {

void ProbePorts(const char* const* names, std::uint32_t count, bool* isFree) {
    for (std::uint32_t index = 0; index < count; ++index) {
        const Handle probe = ProbePort(names[index]);
        isFree[index] = probe != kNoHandle;
        if (probe != kNoHandle) {
            ClosePort(probe);
        }
    }
}

}  // namespace platform
