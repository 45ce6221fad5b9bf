#include "platform/posix/HeldPorts.h"

#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>

#include <atomic>
#include <cstdlib>

namespace platform {
namespace posix {

namespace {

constexpr int kNoDescriptor = -1;
constexpr int kMaxHeldPorts = 8;
// Every signal whose default action ends the process, but for the faults below: sent by
// another process or by the kernel to the process as a whole.
constexpr int kEndingSignals[] = {SIGHUP,  SIGINT,    SIGQUIT, SIGUSR1,   SIGUSR2,
                                  SIGPIPE, SIGALRM,   SIGTERM, SIGSTKFLT, SIGXCPU,
                                  SIGXFSZ, SIGVTALRM, SIGPROF, SIGIO,     SIGPWR};
// Raised by the faulting thread itself: blocking them there would end the process at once,
// without the handler.
constexpr int kFaultSignals[] = {SIGILL, SIGTRAP, SIGABRT, SIGBUS, SIGFPE, SIGSEGV, SIGSYS};

// Read by a signal handler, so nothing here takes a lock: a slot is published through its
// descriptor only once its line state is in place.
struct HeldPort {
    std::atomic<int> descriptor{kNoDescriptor};
    std::atomic<bool> hasLineState{false};
    termios lineState{};
    OtherRates otherRates{};
};

HeldPort heldPorts[kMaxHeldPorts];

// Async-signal-safe: only tcsetattr() and ioctl() on descriptors that are already open.
void PutBackHeldPorts() {
    for (HeldPort& port : heldPorts) {
        const int descriptor = port.descriptor.load(std::memory_order_acquire);
        if (descriptor == kNoDescriptor) {
            continue;
        }
        if (port.hasLineState.load(std::memory_order_acquire)) {
            tcsetattr(descriptor, TCSANOW, &port.lineState);
            PutBackOtherRates(descriptor, port.otherRates);
        }
        ioctl(descriptor, TIOCNXCL);
    }
}

// Puts the ports back, then lets the signal end the process as it would have without us, so
// that the parent sees the usual status for it.
void PutBackAndEnd(int signalNumber) {
    PutBackHeldPorts();
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

// Only a signal still at its default action is taken over: one that the parent chose to ignore
// (nohup, a service manager) stays ignored, and a sanitizer's own handler stays in place.
void CatchEndingSignal(int signalNumber) {
    struct sigaction current {};
    if (sigaction(signalNumber, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) {
        return;
    }
    struct sigaction putBack {};
    putBack.sa_handler = PutBackAndEnd;
    sigemptyset(&putBack.sa_mask);
    sigaction(signalNumber, &putBack, nullptr);
}

// The real-time signals end the process too; those below SIGRTMIN belong to the C library.
template <typename Visit>
void ForEachSentSignal(Visit visit) {
    for (int signalNumber : kEndingSignals) {
        visit(signalNumber);
    }
    for (int signalNumber = SIGRTMIN; signalNumber <= SIGRTMAX; ++signalNumber) {
        visit(signalNumber);
    }
}

bool WatchEveryWayOut() {
    ForEachSentSignal(CatchEndingSignal);
    for (int signalNumber : kFaultSignals) {
        CatchEndingSignal(signalNumber);
    }
    return std::atexit(PutBackHeldPorts) == 0;
}

HeldPort* SlotOf(int descriptor) {
    for (HeldPort& port : heldPorts) {
        if (port.descriptor.load(std::memory_order_acquire) == descriptor) {
            return &port;
        }
    }
    return nullptr;
}

}  // namespace

// Ports are opened and closed on the main thread only; the handler is the only other reader.
bool RememberHeldPort(int descriptor) {
    static const bool watching = WatchEveryWayOut();
    HeldPort* slot = SlotOf(kNoDescriptor);
    if (!watching || slot == nullptr) {
        return false;
    }
    slot->hasLineState.store(false, std::memory_order_release);
    slot->descriptor.store(descriptor, std::memory_order_release);
    return true;
}

void RememberLineState(int descriptor, const termios& lineState, const OtherRates& otherRates) {
    HeldPort* slot = SlotOf(descriptor);
    if (slot == nullptr) {
        return;
    }
    // Not put back half-written: the handler skips the state while it changes.
    slot->hasLineState.store(false, std::memory_order_release);
    slot->lineState = lineState;
    slot->otherRates = otherRates;
    slot->hasLineState.store(true, std::memory_order_release);
}

bool BlockEndingSignals(sigset_t* previous) {
    sigset_t ending;
    sigemptyset(&ending);
    ForEachSentSignal([&ending](int signalNumber) { sigaddset(&ending, signalNumber); });
    return pthread_sigmask(SIG_BLOCK, &ending, previous) == 0;
}

bool IsHeldPort(int descriptor) {
    return descriptor != kNoDescriptor && SlotOf(descriptor) != nullptr;
}

void ForgetHeldPort(int descriptor) {
    HeldPort* slot = SlotOf(descriptor);
    if (slot != nullptr) {
        slot->descriptor.store(kNoDescriptor, std::memory_order_release);
    }
}

}  // namespace posix
}  // namespace platform
