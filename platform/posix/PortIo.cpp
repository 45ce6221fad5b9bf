// The bytes of an exchange on POSIX: a write that returns once the message has left, or once
// flow control has held it past its limit, and a one-byte read that a stop signal can abandon.
// Both wait in poll() on a non-blocking port.
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/Clock.h"
#include "platform/Port.h"
#include "platform/posix/Descriptor.h"
#include "platform/posix/DescriptorWait.h"

namespace platform {

namespace {

// How often a write that has been handed to the driver looks whether the driver has sent it.
constexpr std::uint32_t kDrainCheckMs = 2;

// The errors of a terminal whose device has gone: hung up, or the adapter unplugged.
bool IsGoneError(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}

WriteOutcome WaitUntilWritable(int port, const Deadline& deadline) {
    pollfd watch{port, POLLOUT, 0};
    const int ready = posix::PollWithin(&watch, 1, deadline.RemainingMs());
    if (ready == 0) {
        return WriteOutcome::kHeld;
    }
    // A hung-up terminal may report an error beside the hang-up.
    if (ready > 0 && (watch.revents & POLLHUP) != 0) {
        return WriteOutcome::kGone;
    }
    if (ready < 0 || (watch.revents & (POLLERR | POLLNVAL)) != 0) {
        return WriteOutcome::kFailed;
    }
    return WriteOutcome::kWritten;
}

WriteOutcome OutcomeOfError(int error) {
    return IsGoneError(error) ? WriteOutcome::kGone : WriteOutcome::kFailed;
}

WriteOutcome WriteAll(int port, const std::uint8_t* data, std::uint32_t length,
                      const Deadline& deadline) {
    std::uint32_t written = 0;
    while (written < length) {
        const ssize_t count = write(port, data + written, length - written);
        if (count > 0) {
            written += static_cast<std::uint32_t>(count);
            continue;
        }
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0 && errno != EAGAIN) {
            return OutcomeOfError(errno);
        }
        const WriteOutcome room = WaitUntilWritable(port, deadline);
        if (room != WriteOutcome::kWritten) {
            return room;
        }
    }
    return WriteOutcome::kWritten;
}

// tcdrain() would wait without limit on a line that flow control holds (CTS low), so the
// driver's output queue is watched instead, until it is empty or the deadline passes.
WriteOutcome DrainOutput(int port, const Deadline& deadline) {
    for (;;) {
        int queued = 0;
        if (ioctl(port, TIOCOUTQ, &queued) != 0) {
            return OutcomeOfError(errno);
        }
        if (queued == 0) {
            return WriteOutcome::kWritten;
        }
        if (deadline.Passed()) {
            return WriteOutcome::kHeld;
        }
        SleepMs(std::min(kDrainCheckMs, deadline.RemainingMs()));
    }
}

ReadOutcome TakeByte(int port, std::uint8_t* byte) {
    const ssize_t count = read(port, byte, 1);
    if (count == 1) {
        return ReadOutcome::kByte;
    }
    if (count < 0 && (errno == EAGAIN || errno == EINTR)) {
        return ReadOutcome::kNothing;
    }
    // A hung-up terminal reads as the end of the file.
    if (count == 0 || IsGoneError(errno)) {
        return ReadOutcome::kGone;
    }
    return ReadOutcome::kFailed;
}

}  // namespace

WriteOutcome WriteMessage(Handle port, Handle /*writeEvent*/, const std::uint8_t* data,
                          std::uint32_t length, std::uint32_t limitMs) {
    const int descriptor = posix::DescriptorOf(port);
    const Deadline deadline(limitMs);
    WriteOutcome written = WriteAll(descriptor, data, length, deadline);
    if (written == WriteOutcome::kWritten) {
        written = DrainOutput(descriptor, deadline);
    }
    // What flow control held back would go out whenever the line is released: after the attempt
    // was given up, or after the run at the restored rate, and close would wait for it.
    if (written == WriteOutcome::kHeld) {
        tcflush(descriptor, TCOFLUSH);
    }
    return written;
}

// The read needs no event of its own here: poll() watches the port itself.
ReadOutcome ReadByte(Handle port, Handle /*readEvent*/, Handle stopEvent, std::uint8_t* byte) {
    enum { kPort, kStop, kWatchCount };
    pollfd watch[kWatchCount] = {{posix::DescriptorOf(port), POLLIN, 0},
                                 {posix::DescriptorOf(stopEvent), POLLIN, 0}};
    if (posix::PollWithoutLimit(watch, kWatchCount) < 0) {
        // Waiting itself failed: stopping is the only way out that cannot spin.
        return ReadOutcome::kStopped;
    }
    // A byte that is there is taken even when the stop signal came with it; a hung-up terminal
    // may still hold bytes, reported with POLLIN beside POLLHUP.
    if ((watch[kPort].revents & POLLIN) != 0) {
        return TakeByte(watch[kPort].fd, byte);
    }
    if (watch[kStop].revents != 0) {
        return ReadOutcome::kStopped;
    }
    // Only a hang-up or failure of the port, with nothing left to read, wakes poll() here.
    return (watch[kPort].revents & POLLHUP) != 0 ? ReadOutcome::kGone : ReadOutcome::kFailed;
}

}  // namespace platform
