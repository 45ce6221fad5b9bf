// Events and threads on POSIX. A manual-reset event is an eventfd counter: signalling adds to the
// counter and nothing ever reads it back, so once signalled an event stays readable for every
// poll() that waits on it. pthread_join() cannot wait with a time-out, so each thread signals such
// an event as its body returns, and a bounded wait polls that event.
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <new>

#include "platform/Threads.h"
#include "platform/posix/Descriptor.h"
#include "platform/posix/DescriptorWait.h"
#include "platform/posix/HeldPorts.h"

namespace platform {

namespace {

constexpr unsigned kNotSignalled = 0;
// eventfd() takes its counter in 8-byte units.
constexpr std::uint64_t kSignal = 1;

// What a thread's Handle points to.
struct PosixThread {
    ThreadBody body;
    void* argument;
    Handle done;
    pthread_t thread;
    bool joined;
};

PosixThread* ThreadOf(Handle handle) {
    return reinterpret_cast<PosixThread*>(handle);
}

void* RunBody(void* context) {
    PosixThread* thread = static_cast<PosixThread*>(context);
    thread->body(thread->argument);
    SignalEvent(thread->done);
    return nullptr;
}

}  // namespace

Handle NewEvent() {
    return posix::HandleOf(eventfd(kNotSignalled, EFD_CLOEXEC | EFD_NONBLOCK));
}

void SignalEvent(Handle event) {
    while (write(posix::DescriptorOf(event), &kSignal, sizeof kSignal) < 0 && errno == EINTR) {
    }
}

void WaitForEvent(Handle event) {
    pollfd watch{posix::DescriptorOf(event), POLLIN, 0};
    posix::PollWithoutLimit(&watch, 1);
}

bool IsSignalled(Handle event) {
    pollfd watch{posix::DescriptorOf(event), POLLIN, 0};
    return posix::PollWithin(&watch, 1, 0) > 0;
}

void CloseEvent(Handle event) {
    close(posix::DescriptorOf(event));
}

Handle StartThread(ThreadBody body, void* argument) {
    PosixThread* thread = new (std::nothrow) PosixThread{body, argument, kNoHandle, {}, false};
    if (thread == nullptr) {
        return kNoHandle;
    }
    thread->done = NewEvent();
    if (thread->done == kNoHandle) {
        delete thread;
        return kNoHandle;
    }
    sigset_t previous;
    const bool blocked = posix::BlockEndingSignals(&previous);
    const int created = pthread_create(&thread->thread, nullptr, RunBody, thread);
    if (blocked) {
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }
    if (created != 0) {
        CloseEvent(thread->done);
        delete thread;
        return kNoHandle;
    }
    return reinterpret_cast<Handle>(thread);
}

WaitOutcome WaitForThread(Handle thread, std::uint32_t timeoutMs) {
    pollfd watch{posix::DescriptorOf(ThreadOf(thread)->done), POLLIN, 0};
    const int ready = posix::PollWithin(&watch, 1, timeoutMs);
    if (ready < 0) {
        return WaitOutcome::kFailed;
    }
    return ready == 0 ? WaitOutcome::kTimedOut : WaitOutcome::kEnded;
}

bool JoinThread(Handle thread) {
    PosixThread* posixThread = ThreadOf(thread);
    if (!posixThread->joined) {
        pthread_join(posixThread->thread, nullptr);
        posixThread->joined = true;
    }
    return true;
}

// A thread that was only waited for is joined here; having ended, it is joined at once.
void CloseThread(Handle thread) {
    JoinThread(thread);
    CloseEvent(ThreadOf(thread)->done);
    delete ThreadOf(thread);
}

}  // namespace platform
