// Arbitrary bytes from the device, answered to a real exchange over a pseudo-terminal: the reply
// must be the first ACK or NAK among them, and the console must show only their printable bytes.
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "serial/SerialPort.h"

namespace {

constexpr std::uint32_t kPortNumber = 128;  // ttyAMA31 in the build's device folder
const char* const kLinkName = TELVORN_DEVICE_DIR "/ttyAMA31";
constexpr std::size_t kMaxDeviceBytes = 1000;  // stays within the terminal's input buffer
constexpr std::uint32_t kReplyWaitMs = 10000;  // never reached when a reply is sent
constexpr std::uint32_t kSilenceWaitMs = 20;
constexpr int kMessageWaitMs = 5000;
const std::uint8_t kMessage[] = {0x03, 0x12, 0x00, 0xFF};

struct Line {
    int master = -1;
    int keepOpen = -1;  // the slave stays open so the master never sees a hang-up
    int console = -1;   // standard output goes here
    SerialPort port;
};

Line* OpenLine() {
    Line* line = new Line;
    line->master = posix_openpt(O_RDWR | O_NOCTTY);
    if (line->master < 0 || grantpt(line->master) != 0 || unlockpt(line->master) != 0) {
        std::abort();
    }
    mkdir(TELVORN_DEVICE_DIR, 0755);
    unlink(kLinkName);
    if (symlink(ptsname(line->master), kLinkName) != 0) {
        std::abort();
    }
    line->keepOpen = open(kLinkName, O_RDWR | O_NOCTTY);
    line->console = memfd_create("console", 0);
    if (line->keepOpen < 0 || line->console < 0 || !line->port.SetPortNumber(kPortNumber) ||
        !line->port.Configure(115200)) {
        std::abort();
    }
    std::fflush(stdout);
    dup2(line->console, fileno(stdout));
    return line;
}

void PlayDevice(int master, const std::uint8_t* data, std::size_t size) {
    std::size_t got = 0;
    pollfd ready = {master, POLLIN, 0};
    while (got < sizeof(kMessage) && poll(&ready, 1, kMessageWaitMs) == 1) {
        std::uint8_t buffer[sizeof(kMessage)];
        ssize_t n = read(master, buffer, sizeof(kMessage) - got);
        if (n <= 0) {
            std::abort();
        }
        got += static_cast<std::size_t>(n);
    }
    if (got != sizeof(kMessage) || write(master, data, size) != static_cast<ssize_t>(size)) {
        std::abort();
    }
}

std::string ConsoleText(int console) {
    std::fflush(stdout);
    std::string text;
    char buffer[4096];
    ssize_t n;
    lseek(console, 0, SEEK_SET);
    while ((n = read(console, buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

// Without a reply the console shows the time-out's "." among the device's text: the reader may
// not have read every byte by then, and bytes already there are still taken after it.
bool IsPrefixWithTimeOutDot(const std::string& console, const std::string& shown) {
    for (std::size_t at = 0; at < console.size(); ++at) {
        if (console[at] != '.') {
            continue;
        }
        std::string text = console;
        text.erase(at, 1);
        if (shown.compare(0, text.size(), text) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Line* line = OpenLine();
    if (size > kMaxDeviceBytes) {
        size = kMaxDeviceBytes;
    }
    // What the program must make of these bytes.
    std::uint8_t expectedReply = SerialPort::kNoReply;
    std::string shown;
    std::size_t sent = 0;
    while (sent < size && expectedReply == SerialPort::kNoReply) {
        const std::uint8_t byte = data[sent++];
        if (byte >= 0x20 && byte <= 0x7E) {
            shown += static_cast<char>(byte);
        } else if (byte == SerialPort::kAck || byte == SerialPort::kNak) {
            expectedReply = byte;
        }
    }

    if (ftruncate(line->console, 0) != 0 || lseek(line->console, 0, SEEK_SET) != 0) {
        std::abort();
    }
    std::thread device(PlayDevice, line->master, data, sent);
    const std::uint32_t wait =
        expectedReply == SerialPort::kNoReply ? kSilenceWaitMs : kReplyWaitMs;
    const std::uint8_t reply = line->port.Exchange(kMessage, sizeof(kMessage), wait, false);
    device.join();
    const std::string console = ConsoleText(line->console);

    if (reply != expectedReply) {
        std::abort();
    }
    if (expectedReply != SerialPort::kNoReply) {
        if (console != shown) {
            std::abort();
        }
    } else if (!IsPrefixWithTimeOutDot(console, shown)) {
        std::abort();
    }
    return 0;
}
