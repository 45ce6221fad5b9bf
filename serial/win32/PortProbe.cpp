// The start-up probe of every COM name. Opening an outgoing Bluetooth serial port makes the stack
// page its paired device, and CreateFileA blocks until that answers or gives up: seconds per port,
// half a minute and more with several paired devices. So every open runs in a thread of its own,
// and the scan stops waiting at a fixed limit: a port that has not answered by then is not listed,
// however many others block with it. A probe that answers later closes its handle at once, so it
// never keeps the port from anyone.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

#include "NativeHandle.h"

namespace platform {

namespace {

// Wired, USB and virtual ports answer within milliseconds, a USB adapter waking from selective
// suspend within a few hundred; a Bluetooth port that pages an absent device takes 2.5 s and more.
// 2 s lists every port that can be used straight away and keeps the pause at start-up short.
constexpr ULONGLONG kProbeLimitMs = 2000;
// A probe needs next to no stack; 256 default reservations would only waste address space.
constexpr SIZE_T kProbeStackSize = 64 * 1024;

enum class Answer { kNone, kFree, kNotFree };

struct Scan;

struct Probe {
    Scan* scan = nullptr;
    char name[MAX_PATH] = {};
    std::atomic<Answer> answer{Answer::kNone};
};

// Shared by the scan and its probe threads. A late probe outlives the scan that stopped waiting
// for it, so whichever lets go last frees the record.
struct Scan {
    std::atomic<std::uint32_t> holders{1};
    std::atomic<std::uint32_t> unanswered{0};
    HANDLE allAnswered = nullptr;
    Probe* probes = nullptr;
};

void LetGo(Scan* scan) {
    if (--scan->holders == 0) {
        CloseHandle(scan->allAnswered);
        delete[] scan->probes;
        delete scan;
    }
}

void AnswerProbe(Probe* probe) {
    const Handle port = ProbePort(probe->name);
    if (port != kNoHandle) {
        ClosePort(port);
    }
    probe->answer = port != kNoHandle ? Answer::kFree : Answer::kNotFree;
    Scan* scan = probe->scan;
    if (--scan->unanswered == 0) {
        SetEvent(scan->allAnswered);
    }
}

DWORD WINAPI RunProbe(LPVOID parameter) {
    Probe* probe = static_cast<Probe*>(parameter);
    Scan* scan = probe->scan;
    AnswerProbe(probe);
    LetGo(scan);
    return 0;
}

Scan* NewScan(const char* const* names, std::uint32_t count) {
    Scan* scan = new (std::nothrow) Scan;
    if (scan == nullptr) {
        return nullptr;
    }
    scan->probes = new (std::nothrow) Probe[count];
    scan->allAnswered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (scan->probes == nullptr || scan->allAnswered == nullptr) {
        if (scan->allAnswered != nullptr) {
            CloseHandle(scan->allAnswered);
        }
        delete[] scan->probes;
        delete scan;
        return nullptr;
    }
    scan->unanswered = count;
    for (std::uint32_t index = 0; index < count; ++index) {
        Probe& probe = scan->probes[index];
        probe.scan = scan;
        // A name too long for CreateFileA stays empty, and its probe then finds nothing.
        if (std::strlen(names[index]) < MAX_PATH) {
            std::strcpy(probe.name, names[index]);
        }
    }
    return scan;
}

bool StartProbe(Probe* probe) {
    ++probe->scan->holders;
    HANDLE thread = CreateThread(nullptr, kProbeStackSize, &RunProbe, probe,
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread == nullptr) {
        --probe->scan->holders;
        return false;
    }
    CloseHandle(thread);
    return true;
}

DWORD TimeLeft(ULONGLONG started) {
    const ULONGLONG spent = GetTickCount64() - started;
    return static_cast<DWORD>(spent >= kProbeLimitMs ? 0 : kProbeLimitMs - spent);
}

}  // namespace

void ProbePorts(const char* const* names, std::uint32_t count, bool* isFree) {
    const ULONGLONG started = GetTickCount64();
    Scan* scan = NewScan(names, count);
    if (scan == nullptr) {
        // Without memory for the scan there is none for the port either.
        std::fill(isFree, isFree + count, false);
        return;
    }
    for (std::uint32_t index = 0; index < count; ++index) {
        // Out of threads, the probe runs here, without the limit.
        if (!StartProbe(&scan->probes[index])) {
            AnswerProbe(&scan->probes[index]);
        }
    }
    WaitForSingleObject(scan->allAnswered, TimeLeft(started));
    for (std::uint32_t index = 0; index < count; ++index) {
        isFree[index] = scan->probes[index].answer == Answer::kFree;
    }
    LetGo(scan);
}

}  // namespace platform
