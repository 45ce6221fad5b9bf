// Manual-reset events (created not signalled) and threads that can be waited for with a limit.
#pragma once

#include <cstdint>

#include "platform/Handle.h"

namespace platform {

Handle NewEvent();
void SignalEvent(Handle event);
void WaitForEvent(Handle event);  // without a time limit
bool IsSignalled(Handle event);   // without waiting
void CloseEvent(Handle event);

using ThreadBody = std::uint32_t (*)(void* argument);

Handle StartThread(ThreadBody body, void* argument);

enum class WaitOutcome { kEnded, kTimedOut, kFailed };
WaitOutcome WaitForThread(Handle thread, std::uint32_t timeoutMs);
// Waits for the thread to end; on Windows at most a limit that only a thread stuck in a driver
// reaches. False when the thread is still running.
bool JoinThread(Handle thread);
void CloseThread(Handle thread);  // after the thread has ended

}  // namespace platform
