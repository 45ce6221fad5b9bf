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
#include "PortProbe.h"

namespace platform {

namespace {

// A probe needs next to no stack; 256 default reservations would only waste address space.
constexpr SIZE_T kProbeStackSize = 64 * 1024;

using win32::ProbeAnswer;

struct Scan;

struct Probe {
    Scan* scan = nullptr;
    char name[MAX_PATH] = {};
    // Written before the answer, which publishes it.
    DWORD error = ERROR_SUCCESS;
    std::atomic<ProbeAnswer> answer{ProbeAnswer::kNone};
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
    } else {
        probe->error = GetLastError();
    }
    probe->answer = port != kNoHandle ? ProbeAnswer::kFree : ProbeAnswer::kNotFree;
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
    return static_cast<DWORD>(spent >= win32::kProbeLimitMs ? 0 : win32::kProbeLimitMs - spent);
}

}  // namespace

namespace win32 {

void ProbePortsReporting(const char* const* names, std::uint32_t count, ProbeReport* reports) {
    const ULONGLONG started = GetTickCount64();
    Scan* scan = NewScan(names, count);
    if (scan == nullptr) {
        // Without memory for the scan there is none for the port either.
        std::fill(reports, reports + count, ProbeReport{ProbeAnswer::kNotFree, ERROR_OUTOFMEMORY});
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
        const Probe& probe = scan->probes[index];
        const ProbeAnswer answer = probe.answer;
        reports[index] = ProbeReport{answer, answer == ProbeAnswer::kNotFree ? probe.error : 0};
    }
    LetGo(scan);
}

}  // namespace win32

void ProbePorts(const char* const* names, std::uint32_t count, bool* isFree) {
    win32::ProbeReport* reports = new (std::nothrow) win32::ProbeReport[count];
    if (reports == nullptr) {
        std::fill(isFree, isFree + count, false);
        return;
    }
    win32::ProbePortsReporting(names, count, reports);
    for (std::uint32_t index = 0; index < count; ++index) {
        isFree[index] = reports[index].answer == ProbeAnswer::kFree;
    }
    delete[] reports;
}

}  // namespace platform
