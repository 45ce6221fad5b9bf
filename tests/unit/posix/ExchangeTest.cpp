// The reply rules of one exchange, with the test playing the device on a pseudo-terminal: what
// counts as the reply, what reaches the console, and that nothing hangs.
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>

#include "LinkedTerminal.h"
#include "serial/SerialPort.h"

namespace {

constexpr int kReadWaitMs = 5000;
const std::string kMessage = "\x03\x12\x00\xFF";

// Standard output, caught in a file while an exchange prints to it.
class CapturedOutput {
  public:
    CapturedOutput() : m_file(std::tmpfile()) {
        std::fflush(stdout);
        m_saved = dup(fileno(stdout));
        dup2(fileno(m_file), fileno(stdout));
    }
    virtual ~CapturedOutput() {
        Release();
        std::fclose(m_file);
    }
    std::string Release() {
        if (m_saved >= 0) {
            std::fflush(stdout);
            dup2(m_saved, fileno(stdout));
            close(m_saved);
            m_saved = -1;
        }
        std::string text;
        std::rewind(m_file);
        for (int c = std::fgetc(m_file); c != EOF; c = std::fgetc(m_file)) {
            text += static_cast<char>(c);
        }
        return text;
    }

  private:
    std::FILE* m_file;
    int m_saved = -1;
};

// Reads the whole message from the master, then answers with reply (and hangs up if asked).
std::string PlayDevice(LinkedTerminal* line, const std::string& reply, bool hangUp) {
    std::string received;
    pollfd ready = {line->Master(), POLLIN, 0};
    while (received.size() < kMessage.size() && poll(&ready, 1, kReadWaitMs) == 1) {
        char buffer[64];
        ssize_t got = read(line->Master(), buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        received.append(buffer, static_cast<std::size_t>(got));
    }
    if (hangUp) {
        line->CloseMaster();
    } else if (!reply.empty()) {
        EXPECT_EQ(write(line->Master(), reply.data(), reply.size()),
                  static_cast<ssize_t>(reply.size()));
    }
    return received;
}

struct Outcome {
    std::uint8_t reply;
    std::string console;
    std::string deviceGot;
};

Outcome RunExchange(SerialPort* port, LinkedTerminal* line, const std::string& reply,
                    std::uint32_t timeoutMs, bool announce = false, bool hangUp = false) {
    Outcome outcome{};
    std::thread device([&] { outcome.deviceGot = PlayDevice(line, reply, hangUp); });
    CapturedOutput output;
    outcome.reply =
        port->Exchange(reinterpret_cast<const std::uint8_t*>(kMessage.data()),
                       static_cast<std::uint32_t>(kMessage.size()), timeoutMs, announce);
    outcome.console = output.Release();
    device.join();
    return outcome;
}

class ExchangeTest : public ::testing::Test {
  protected:
    void Connect(std::uint32_t number) {
        m_line = new LinkedTerminal(number);
        ASSERT_TRUE(m_line->IsReady());
        ASSERT_TRUE(m_port.SetPortNumber(number));
        ASSERT_TRUE(m_port.Configure(115200));
    }
    void TearDown() override {
        m_port.Close();
        delete m_line;
    }

    SerialPort m_port;
    LinkedTerminal* m_line = nullptr;
};

TEST_F(ExchangeTest, RepliesAndWhatTheConsoleShows) {
    Connect(97);
    {
        SCOPED_TRACE("an ACK at once: no dot, nothing shown");
        Outcome outcome = RunExchange(&m_port, m_line, "\x06", 2000);
        EXPECT_EQ(outcome.reply, SerialPort::kAck);
        EXPECT_EQ(outcome.console, "");
        EXPECT_EQ(outcome.deviceGot, kMessage);
    }
    {
        SCOPED_TRACE("text, then NAK");
        Outcome outcome = RunExchange(&m_port, m_line, "BAD BLOCK\x15", 2000);
        EXPECT_EQ(outcome.reply, SerialPort::kNak);
        EXPECT_EQ(outcome.console, "BAD BLOCK");
    }
    {
        SCOPED_TRACE("control bytes are neither shown nor replies; the first reply byte counts");
        const std::string noise("\r\n\x00\x7F\x80\xFF\x1B[2J\a", 10);
        Outcome outcome = RunExchange(&m_port, m_line, noise + "ok\x15\x06", 2000);
        EXPECT_EQ(outcome.reply, SerialPort::kNak);
        EXPECT_EQ(outcome.console, "[2Jok");
    }
    {
        SCOPED_TRACE("a silent device: a dot after the time-out");
        Outcome outcome = RunExchange(&m_port, m_line, "", 100);
        EXPECT_EQ(outcome.reply, SerialPort::kNoReply);
        EXPECT_EQ(outcome.console, ".");
    }
}

TEST_F(ExchangeTest, BytesFromBeforeTheExchangeAreNotItsReply) {
    Connect(98);
    // An ACK left over from an earlier exchange, still unread when the next one starts.
    ASSERT_EQ(write(m_line->Master(), "late\x06", 5), 5);
    usleep(50 * 1000);
    Outcome outcome = RunExchange(&m_port, m_line, "", 100);
    EXPECT_EQ(outcome.reply, SerialPort::kNoReply);
    EXPECT_EQ(outcome.console, ".");
}

TEST_F(ExchangeTest, AnnouncedReplyOutlastsTheTimeOut) {
    Connect(99);
    {
        SCOPED_TRACE("the pause after the announcement runs past the wait: a dot, still ACK");
        Outcome outcome = RunExchange(&m_port, m_line, "\x06", 500, true);
        EXPECT_EQ(outcome.reply, SerialPort::kAck);
        EXPECT_EQ(outcome.console, "\nPreparing to load TEQ6 data..\n.");
    }
    {
        SCOPED_TRACE("a hang-up during the exchange ends it without a reply");
        Outcome outcome = RunExchange(&m_port, m_line, "", 200, false, true);
        EXPECT_EQ(outcome.reply, SerialPort::kNoReply);
        EXPECT_EQ(outcome.console, ".");
    }
}

}  // namespace
