// The bytes of an exchange on POSIX: a write that returns once the message has left, and a
// one-byte read that a stop signal can abandon. Both wait in poll() on a non-blocking port.
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "serial/Platform.h"
#include "serial/posix/Descriptor.h"
#include "serial/posix/DescriptorWait.h"

namespace platform {

namespace {

// Reported whatever was asked for: the port has hung up or failed.
constexpr short kPortGone = POLLHUP | POLLERR | POLLNVAL;

// False when the port will never take more bytes.
bool WaitUntilWritable(int port) {
    pollfd watch{port, POLLOUT, 0};
    return posix::PollWithoutLimit(&watch, 1) > 0 && (watch.revents & kPortGone) == 0;
}

bool WriteAll(int port, const std::uint8_t* data, std::uint32_t length) {
    std::uint32_t written = 0;
    while (written < length) {
        const ssize_t count = write(port, data + written, length - written);
        if (count > 0) {
            written += static_cast<std::uint32_t>(count);
            continue;
        }
        const bool mayGoOn =
            count < 0 && (errno == EINTR || (errno == EAGAIN && WaitUntilWritable(port)));
        if (!mayGoOn) {
            return false;
        }
    }
    return true;
}

bool DrainOutput(int port) {
    while (tcdrain(port) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

ReadOutcome TakeByte(int port, std::uint8_t* byte) {
    const ssize_t count = read(port, byte, 1);
    if (count == 1) {
        return ReadOutcome::kByte;
    }
    if (count < 0 && (errno == EAGAIN || errno == EINTR)) {
        return ReadOutcome::kNothing;
    }
    // End of file or an I/O error: the line is gone.
    return ReadOutcome::kFailed;
}

}  // namespace

bool WriteMessage(Handle port, Handle /*writeEvent*/, const std::uint8_t* data,
                  std::uint32_t length) {
    const int descriptor = posix::DescriptorOf(port);
    return WriteAll(descriptor, data, length) && DrainOutput(descriptor);
}

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
    return ReadOutcome::kFailed;
}

}  // namespace platform
