// The bounded start-up probe, with what each probe found: for a tool that tells the user why a
// port is not free, without waiting longer than telvorn's own start-up does.
#pragma once

#include <windows.h>

#include <cstdint>

namespace platform {
namespace win32 {

// Wired, USB and virtual ports answer within milliseconds, a USB adapter waking from selective
// suspend within a few hundred; a Bluetooth port that pages an absent device takes 2.5 s and more.
// 2 s lists every port that can be used straight away and keeps the pause at start-up short.
constexpr std::uint32_t kProbeLimitMs = 2000;

enum class ProbeAnswer {
    kNone,     // the open did not answer within the limit
    kFree,     // opened exclusively, and closed again
    kNotFree,  // the open failed with error
};

struct ProbeReport {
    ProbeAnswer answer;
    DWORD error;
};

// Remembers when the probe closed a port it found free: the driver may still hold that port for a
// moment, and OpenPort then waits briefly for it.
void NoteFreedByProbe(const char* deviceName);

void ProbePortsReporting(const char* const* names, std::uint32_t count, ProbeReport* reports);

}  // namespace win32
}  // namespace platform
