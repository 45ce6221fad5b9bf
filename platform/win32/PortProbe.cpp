// The start-up probe of every COM name. Opening an outgoing Bluetooth serial port makes the stack
// page its paired device, and CreateFileA blocks until that answers or gives up: seconds per port,
// half a minute and more with several paired devices. Every other open answers within
// milliseconds, and a thread for each name would cost far more than the opens themselves. So one
// worker opens the names in order; a worker whose open has not answered within a short limit is
// left to it, and two fresh ones go on with the names left. Stalls thus overlap instead of adding
// up: twenty paired Bluetooth ports ahead of an adapter cost a few hand-overs, not twenty. The
// scan stops waiting at a fixed limit: a port that has not answered by then is not listed, however
// many others block with it. A probe that answers later closes its handle at once, so it never
// keeps the port from anyone, no worker opens another name once the scan has ended, and every
// probe still blocked at the end is asked to give up so that the process can end.
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
// Each worker that stalls is followed by this many: with stalls everywhere, the workers that go on
// double at each hand-over.
constexpr std::uint32_t kFollowersPerStall = 2;

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
    // Both under the scan's lock. Handed over: the scan has gone on without this worker, which
    // ends after its current open. openSince: when the current open started; 0 between opens.
    bool handedOver = false;
    ULONGLONG openSince = 0;
};

// Shared by the scan and its workers. A late worker outlives the scan that stopped waiting for
// it, so whichever lets go last frees the record.
struct Scan {
    std::atomic<std::uint32_t> holders{1};
    std::atomic<std::uint32_t> unanswered{0};
    SRWLOCK lock = SRWLOCK_INIT;
    std::uint32_t next = 0;  // under the lock
    std::uint32_t count = 0;
    std::uint32_t workerCapacity = 0;
    HANDLE allAnswered = nullptr;
    HANDLE progress = nullptr;  // auto-reset: a worker has answered a probe
    Probe* probes = nullptr;
    Worker* workers = nullptr;
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
        win32::NoteFreedByProbe(probe->name);
    } else {
        probe->error = GetLastError();
    }
    probe->answer = port != kNoHandle ? ProbeAnswer::kFree : ProbeAnswer::kNotFree;
    if (--scan->unanswered == 0) {
        SetEvent(scan->allAnswered);
    }
}

// The check that the worker may go on and the claim of its next name are one step, so that a
// worker that has been handed over, or whose scan has ended, never opens one more name.
bool ClaimNext(Worker* worker, std::uint32_t* index) {
    Scan* scan = worker->scan;
    AcquireSRWLockExclusive(&scan->lock);
    const bool claimed = !worker->handedOver && scan->next < scan->count;
    if (claimed) {
        *index = scan->next++;
        worker->openSince = GetTickCount64();
    }
    ReleaseSRWLockExclusive(&scan->lock);
    return claimed;
}

// Probes the names in order, until none is left or the scan has gone on without this worker.
void ProbeInOrder(Worker* worker) {
    Scan* scan = worker->scan;
    std::uint32_t index = 0;
    while (ClaimNext(worker, &index)) {
        AnswerProbe(scan, &scan->probes[index]);
        AcquireSRWLockExclusive(&scan->lock);
        worker->openSince = 0;
        ReleaseSRWLockExclusive(&scan->lock);
        SetEvent(scan->progress);
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
    // The first worker, and the followers of each that stalls in one of the names.
    scan->workerCapacity = 1 + kFollowersPerStall * count;
    scan->probes = new (std::nothrow) Probe[count];
    scan->workers = new (std::nothrow) Worker[scan->workerCapacity];
    scan->allAnswered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    scan->progress = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (scan->probes == nullptr || scan->workers == nullptr || scan->allAnswered == nullptr ||
        scan->progress == nullptr) {
        FreeScan(scan);
        return nullptr;
    }
    scan->unanswered = count;
    for (std::uint32_t index = 0; index < scan->workerCapacity; ++index) {
        scan->workers[index].scan = scan;
    }
    for (std::uint32_t index = 0; index < count; ++index) {
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

// Hands over every worker whose open has lasted the hand-over time; says how many there were,
// how many go on, and how long until the next one that goes on would be handed over.
struct Stalls {
    std::uint32_t stalled = 0;
    std::uint32_t goingOn = 0;
    DWORD nextInMs = kHandOverMs;
    bool namesLeft = false;
};

Stalls HandOverStalled(Scan* scan, std::uint32_t workerCount) {
    Stalls stalls;
    const ULONGLONG now = GetTickCount64();
    AcquireSRWLockExclusive(&scan->lock);
    for (std::uint32_t index = 0; index < workerCount; ++index) {
        Worker& worker = scan->workers[index];
        if (worker.handedOver) {
            continue;
        }
        const ULONGLONG spent = worker.openSince == 0 ? 0 : now - worker.openSince;
        if (spent >= kHandOverMs) {
            worker.handedOver = true;
            ++stalls.stalled;
            continue;
        }
        ++stalls.goingOn;
        stalls.nextInMs = std::min(stalls.nextInMs, static_cast<DWORD>(kHandOverMs - spent));
    }
    stalls.namesLeft = scan->next < scan->count;
    ReleaseSRWLockExclusive(&scan->lock);
    return stalls;
}

// Starts up to wanted workers; the number started.
std::uint32_t StartWorkers(Scan* scan, std::uint32_t wanted, std::uint32_t* workerCount) {
    std::uint32_t started = 0;
    while (started < wanted && *workerCount < scan->workerCapacity &&
           StartWorker(&scan->workers[*workerCount])) {
        ++*workerCount;
        ++started;
    }
    return started;
}

// Hands the names left to fresh workers each time workers stall in an open, until every name has
// answered or the time is up. Out of threads with no worker going on, the names left are probed
// here, without the limit.
std::uint32_t RunScan(Scan* scan, ULONGLONG started) {
    std::uint32_t workerCount = 0;
    std::uint32_t wanted = 1;
    Stalls stalls;
    stalls.namesLeft = true;
    const HANDLE waitFor[kScanEventCount] = {scan->allAnswered, scan->progress};
    for (;;) {
        if (stalls.namesLeft && wanted > 0 && StartWorkers(scan, wanted, &workerCount) == 0 &&
            stalls.goingOn == 0) {
            Worker here;
            here.scan = scan;
            ProbeInOrder(&here);
            return workerCount;
        }
        const DWORD left = TimeLeft(started);
        if (left == 0) {
            return workerCount;
        }
        const DWORD signalled = WaitForMultipleObjects(kScanEventCount, waitFor, FALSE,
                                                       std::min(left, stalls.nextInMs));
        if (signalled != kProgressIndex && signalled != WAIT_TIMEOUT) {
            return workerCount;  // all answered, or the wait failed
        }
        stalls = HandOverStalled(scan, workerCount);
        wanted = kFollowersPerStall * stalls.stalled;
    }
}

// Ends the scan for every worker, then asks those still blocked in an open to give up (best
// effort: a driver may not support cancelling an open).
void EndScan(Scan* scan, std::uint32_t workerCount) {
    AcquireSRWLockExclusive(&scan->lock);
    for (std::uint32_t index = 0; index < workerCount; ++index) {
        scan->workers[index].handedOver = true;
    }
    ReleaseSRWLockExclusive(&scan->lock);
}

void StopWorkers(Scan* scan, std::uint32_t workerCount) {
    for (std::uint32_t index = 0; index < workerCount; ++index) {
        Worker& worker = scan->workers[index];
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
    EndScan(scan, workerCount);
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
