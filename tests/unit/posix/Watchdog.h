// Bounds for waits that must end. Reaching one means the code under test hangs; they are never
// checked as durations.
#pragma once

#include <cstdint>

#include "serial/Platform.h"

constexpr std::uint32_t kWatchdogMs = 20000;

// Whether the descriptor becomes readable within the bound.
bool BecomesReadable(int descriptor);

// Waits for a thread that must end, then closes it. A thread still running at the bound would go
// on using the test's data, so the run ends there as a failure.
void AwaitEnd(platform::Handle thread);
