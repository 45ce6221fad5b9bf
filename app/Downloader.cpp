#include "app/Downloader.h"

#include <cstdint>
#include <cstdio>
#include <new>

#include "app/Notes.h"
#include "config/ConfigFile.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/Port.h"
#include "serial/EnumeratePorts.h"

namespace {

constexpr std::uint32_t kAttemptsPerBlock = 10;
// How long a device may stay silent before the user is told where the program is listening.
constexpr std::uint64_t kSilenceNoteMs = 10000;

// How a block's attempts ended, for the line that says why it gave up.
class AttemptTally {
  public:
    AttemptTally() = default;
    AttemptTally(const AttemptTally&) = delete;
    AttemptTally& operator=(const AttemptTally&) = delete;
    virtual ~AttemptTally() = default;

    void Count(const SerialPort& port, const DataBlock* block) {
        if (!IsValid(block)) {
            ++m_notSent;
        } else if (port.LastReply() == SerialPort::kNak) {
            ++m_refused;
        } else if (port.LastWriteHeld()) {
            ++m_held;
        } else {
            ++m_unanswered;
        }
    }

    void SayGaveUp(std::uint32_t block, std::uint32_t count) const {
        char text[256];
        int length =
            std::snprintf(text, sizeof text,
                          "block %u of %u gave up after %u attempts:", static_cast<unsigned>(block),
                          static_cast<unsigned>(count), static_cast<unsigned>(kAttemptsPerBlock));
        const char* separator = " ";
        const struct {
            std::uint32_t count;
            const char* what;
        } parts[] = {{m_refused, "refused (NAK)"},
                     {m_unanswered, "no answer"},
                     {m_held, "the line was held (flow control)"},
                     {m_notSent, "not sent (bad check word)"}};
        for (const auto& part : parts) {
            if (part.count > 0 && length > 0 && static_cast<std::size_t>(length) < sizeof text) {
                length += std::snprintf(text + length, sizeof text - length, "%s%u %s", separator,
                                        static_cast<unsigned>(part.count), part.what);
                separator = ", ";
            }
        }
        notes::Say("%s", text);
    }

  private:
    std::uint32_t m_refused = 0;
    std::uint32_t m_unanswered = 0;
    std::uint32_t m_held = 0;
    std::uint32_t m_notSent = 0;
};

void SaySilence(const SerialPort& port, std::uint32_t baudRate) {
    char path[256];
    const bool hasPath = platform::DevicePathOf(port.DeviceName(), path, sizeof path);
    notes::Say(
        "nothing has answered on COM%u%s%s%s at %u baud for %u s: check the cable, the port "
        "and the rate; enter x to give up",
        static_cast<unsigned>(port.PortNumber()), hasPath ? " (" : "", hasPath ? path : "",
        hasPath ? ")" : "", static_cast<unsigned>(baudRate),
        static_cast<unsigned>(kSilenceNoteMs / 1000));
}

}  // namespace

Downloader::Downloader() : m_ports(EnumeratePorts()) {}

Downloader::~Downloader() {
    delete m_ports;
    delete m_data;
}

ResultCode Downloader::LoadFile(const char* path) {
    if (path == nullptr) {
        return InvalidFilename;
    }
    if (m_data == nullptr) {
        m_data = new (std::nothrow) DataBuffer;
        if (m_data == nullptr) {
            return OutOfMemory;
        }
    }
    return ReadConfigFile(path, m_data);
}

SerialPort* Downloader::FindPort(std::uint32_t number) const {
    return m_ports != nullptr ? m_ports->Find(number) : nullptr;
}

ResultCode Downloader::SetPort(std::uint32_t number) {
    if (FindPort(number) == nullptr) {
        return InvalidPort;
    }
    m_portNumber = number;
    return Success;
}

ResultCode Downloader::SetBaudRate(std::uint32_t rate) {
    if (rate == 0) {
        return InvalidBaudRate;
    }
    m_baudRate = rate;
    return Success;
}

// The download: a connect handshake repeated until the device answers, every stored block with
// up to ten attempts, then the end message. The user's abort is honoured between exchanges,
// never in the middle of one.
bool Downloader::SendWithRetries(SerialPort* port, std::uint32_t index) {
    AttemptTally tally;
    for (std::uint32_t attempt = 1; attempt <= kAttemptsPerBlock; ++attempt) {
        if (AbortRaised()) {
            return false;
        }
        console::Print("\nWriting block %d of %d, attempt %d: ", static_cast<int>(index + 1),
                       static_cast<int>(m_data->Count()), static_cast<int>(attempt));
        if (port->SendBlock(m_data->At(index))) {
            return true;
        }
        tally.Count(*port, m_data->At(index));
    }
    tally.SayGaveUp(index + 1, m_data->Count());
    return false;
}

// Until the device answers or the user gives up. A device that has not said a word for a while
// gets one line on where the program is listening, since dots alone do not say whether it is
// the right port.
bool Downloader::WaitForConnection(SerialPort* port) {
    const std::uint64_t startedMs = platform::NowMs();
    bool toldOfSilence = false;
    while (!AbortRaised()) {
        if (port->Connect()) {
            return true;
        }
        if (!toldOfSilence && !port->HeardAnything() &&
            platform::NowMs() - startedMs >= kSilenceNoteMs) {
            SaySilence(*port, m_baudRate);
            toldOfSilence = true;
        }
    }
    return false;
}

bool Downloader::SendAllBlocks(SerialPort* port) {
    const std::uint32_t count = m_data != nullptr ? m_data->Count() : 0;
    for (std::uint32_t index = 0; index < count; ++index) {
        if (AbortRaised() || !SendWithRetries(port, index)) {
            return false;
        }
    }
    return true;
}

ResultCode Downloader::Download() {
    SerialPort* port = FindPort(m_portNumber);
    if (port == nullptr) {
        return InvalidPort;
    }
    if (!port->Open()) {
        return CannotOpenPort;
    }
    if (!port->Configure(m_baudRate)) {
        return InvalidBaudRate;
    }
    console::Print("Waiting for connection\n");
    if (!WaitForConnection(port) || AbortRaised()) {
        return CannotConnect;
    }
    if (!SendAllBlocks(port) || AbortRaised()) {
        return CannotSend;
    }
    port->Disconnect();
    // The port stays open and configured; the process ends with it.
    return Success;
}
