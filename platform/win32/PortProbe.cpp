// The start-up probe of every COM name. Opening an outgoing Bluetooth serial port makes the stack
// page its paired device, and CreateFileA blocks until that answers or gives up: seconds per port,
// half a minute and more with several paired devices. Every other open answers within
// milliseconds, and a thread for each name would cost far more than the opens themselves. So one
// worker opens the names in order; when an open has not answered within a short limit, that
// worker is left to it and a fresh one goes on with the next name. The scan stops waiting at a
// fixed limit: a port that has not answered by then is not listed, however many others block with
// it. A probe that answers later closes its handle at once, so it never keeps the port from
// anyone, and every probe still blocked at the end is asked to give up so that the process can
// end.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

#include "NativeHandle.h"
#include "PortProbe.h"
#include "platform/Port.h"

namespace platform {

namespace {

// A probe needs next to no stack; a default reservation for each worker would only waste address
// space.
constexpr SIZE_T kProbeStackSize = 64 * 1024;
// Wired, USB and virtual ports answer well within this; an open that has not is left to its own
// worker.
constexpr DWORD kHandOverMs = 100;
constexpr DWORD kAllAnsweredIndex = WAIT_OBJECT_0;
constexpr DWORD kProgressIndex = WAIT_OBJECT_0 + 1;
constexpr DWORD kScanEventCount = 2;

using win32::ProbeAnswer;

struct Probe {
    char name[MAX_PATH] = {};
    // Written before the answer, which publishes it.
    DWORD error = ERROR_SUCCESS;
    std::atomic<ProbeAnswer> answer{ProbeAnswer::kNone};
};

struct Scan;

struct Worker {
    Scan* scan = nullptr;
    HANDLE thread = nullptr;
    // Set when the scan has gone on without this worker: it ends after its current open.
    std::atomic<bool> handedOver{false};
};

// Shared by the scan and its workers. A late worker outlives the scan that stopped waiting for
// it, so whichever lets go last frees the record.
struct Scan {
    std::atomic<std::uint32_t> holders{1};
    std::atomic<std::uint32_t> unanswered{0};
    std::atomic<std::uint32_t> next{0};
    std::uint32_t count = 0;
    HANDLE allAnswered = nullptr;
    HANDLE progress = nullptr;  // auto-reset: the current worker has answered a probe
    Probe* probes = nullptr;
    Worker* workers = nullptr;  // at most one for each name
};

void FreeScan(Scan* scan) {
    for (HANDLE event : {scan->allAnswered, scan->progress}) {
        if (event != nullptr) {
            CloseHandle(event);
        }
    }
    delete[] scan->probes;
    delete[] scan->workers;
    delete scan;
}

void LetGo(Scan* scan) {
    if (--scan->holders == 0) {
        FreeScan(scan);
    }
}

void AnswerProbe(Scan* scan, Probe* probe) {
    const Handle port = ProbePort(probe->name);
    if (port != kNoHandle) {
        ClosePort(port);
    } else {
        probe->error = GetLastError();
    }
    probe->answer = port != kNoHandle ? ProbeAnswer::kFree : ProbeAnswer::kNotFree;
    if (--scan->unanswered == 0) {
        SetEvent(scan->allAnswered);
    }
}

// Probes the names in order, until none is left or the scan has gone on without this worker.
void ProbeInOrder(Worker* worker) {
    Scan* scan = worker->scan;
    while (!worker->handedOver) {
        const std::uint32_t index = scan->next++;
        if (index >= scan->count) {
            return;
        }
        AnswerProbe(scan, &scan->probes[index]);
        if (!worker->handedOver) {
            SetEvent(scan->progress);
        }
    }
}

DWORD WINAPI RunWorker(LPVOID parameter) {
    Worker* worker = static_cast<Worker*>(parameter);
    Scan* scan = worker->scan;
    ProbeInOrder(worker);
    LetGo(scan);
    return 0;
}

Scan* NewScan(const char* const* names, std::uint32_t count) {
    Scan* scan = new (std::nothrow) Scan;
    if (scan == nullptr) {
        return nullptr;
    }
    scan->count = count;
    scan->probes = new (std::nothrow) Probe[count];
    scan->workers = new (std::nothrow) Worker[count];
    scan->allAnswered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    scan->progress = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (scan->probes == nullptr || scan->workers == nullptr || scan->allAnswered == nullptr ||
        scan->progress == nullptr) {
        FreeScan(scan);
        return nullptr;
    }
    scan->unanswered = count;
    for (std::uint32_t index = 0; index < count; ++index) {
        scan->workers[index].scan = scan;
        // A name too long for CreateFileA stays empty, and its probe then finds nothing.
        if (std::strlen(names[index]) < MAX_PATH) {
            std::strcpy(scan->probes[index].name, names[index]);
        }
    }
    return scan;
}

bool StartWorker(Worker* worker) {
    ++worker->scan->holders;
    worker->thread = CreateThread(nullptr, kProbeStackSize, &RunWorker, worker,
                                  STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (worker->thread == nullptr) {
        --worker->scan->holders;
        return false;
    }
    return true;
}

DWORD TimeLeft(ULONGLONG started) {
    const ULONGLONG spent = GetTickCount64() - started;
    return static_cast<DWORD>(spent >= win32::kProbeLimitMs ? 0 : win32::kProbeLimitMs - spent);
}

enum class Progress { kAllAnswered, kStalled, kOutOfTime };

// Waits while the current worker keeps answering.
Progress WatchWorker(Scan* scan, ULONGLONG started) {
    const HANDLE waitFor[kScanEventCount] = {scan->allAnswered, scan->progress};
    for (;;) {
        const DWORD left = TimeLeft(started);
        const DWORD signalled =
            WaitForMultipleObjects(kScanEventCount, waitFor, FALSE, std::min(left, kHandOverMs));
        if (signalled == kAllAnsweredIndex) {
            return Progress::kAllAnswered;
        }
        if (signalled == kProgressIndex) {
            continue;
        }
        if (signalled != WAIT_TIMEOUT || TimeLeft(started) == 0) {
            return Progress::kOutOfTime;
        }
        return Progress::kStalled;
    }
}

// Hands the scan to a fresh worker each time the current one stalls in an open, until every name
// has answered or the time is up. Out of threads, the names left are probed here, without the
// limit.
std::uint32_t RunScan(Scan* scan, ULONGLONG started) {
    std::uint32_t workerCount = 0;
    while (scan->next < scan->count && workerCount < scan->count) {
        Worker* worker = &scan->workers[workerCount];
        if (!StartWorker(worker)) {
            ProbeInOrder(worker);
            return workerCount;
        }
        ++workerCount;
        const Progress progress = WatchWorker(scan, started);
        if (progress != Progress::kStalled) {
            return workerCount;
        }
        worker->handedOver = true;
    }
    WaitForSingleObject(scan->allAnswered, TimeLeft(started));
    return workerCount;
}

// Best effort: a driver may not support cancelling an open.
void StopWorkers(Scan* scan, std::uint32_t workerCount) {
    for (std::uint32_t index = 0; index < workerCount; ++index) {
        Worker& worker = scan->workers[index];
        worker.handedOver = true;
        if (WaitForSingleObject(worker.thread, 0) == WAIT_TIMEOUT) {
            CancelSynchronousIo(worker.thread);
        }
        CloseHandle(worker.thread);
    }
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
    const std::uint32_t workerCount = RunScan(scan, started);
    for (std::uint32_t index = 0; index < count; ++index) {
        const Probe& probe = scan->probes[index];
        const ProbeAnswer answer = probe.answer;
        reports[index] = ProbeReport{answer, answer == ProbeAnswer::kNotFree ? probe.error : 0};
    }
    StopWorkers(scan, workerCount);
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
