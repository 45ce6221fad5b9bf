#include "tools/teq6-sim/Simulator.h"

#include <errno.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/Clock.h"
#include "tools/teq6-sim/Wire.h"

namespace {

using platform::NowMs;

constexpr int kNoTimeout = -1;
constexpr std::size_t kReadChunk = 4096;
// Stale bytes after the ACK to a connect request land in the program's pause after it.
constexpr std::uint64_t kStaleDelayMs = 100;
// After the end message, how long the program gets to read the answer before the line closes.
constexpr std::uint64_t kLingerMs = 1000;
// How long written bytes may take to reach the program's input queue.
constexpr std::uint64_t kSettleMs = 100;
// How often to look again at something that cannot wake the poll: whether the program has read
// the last answer, or whether bytes held back by pacing still wait.
constexpr std::uint64_t kRecheckMs = 10;
constexpr std::size_t kAnswerTextSize = 64;
constexpr std::size_t kPollLine = 0;
constexpr std::size_t kPollSignals = 1;
constexpr std::size_t kPollCount = 2;

// "ACK", "NAK (bad check word)", "no answer (ignored)".
void DescribeAnswer(const Verdict& verdict, char (&text)[kAnswerTextSize]) {
    const char* answer = verdict.answer == Answer::kAck   ? "ACK"
                         : verdict.answer == Answer::kNak ? "NAK"
                                                          : "no answer";
    if (verdict.reason == nullptr) {
        std::snprintf(text, kAnswerTextSize, "%s", answer);
    } else {
        std::snprintf(text, kAnswerTextSize, "%s (%s)", answer, verdict.reason);
    }
}

std::uint8_t ReplyByte(Answer answer) {
    return answer == Answer::kAck ? wire::kAck : wire::kNak;
}

}  // namespace

Simulator::Simulator(const SimOptions& options)
    : m_options(options), m_model(options), m_composer(options), m_pacer(options.paceBaud) {}

bool Simulator::Start() {
    m_framer.SetConnected(m_model.IsConnected());
    if (!m_signals.Install()) {
        std::fprintf(stderr, "teq6-sim: cannot take over SIGINT and SIGTERM\n");
        return false;
    }
    if (!m_out.Reserve(m_composer.MaxLength())) {
        std::fprintf(stderr, "teq6-sim: out of memory\n");
        return false;
    }
    if (m_options.recordPath != nullptr && !m_recorder.Open(m_options.recordPath)) {
        std::fprintf(stderr, "teq6-sim: cannot create %s: %s\n", m_options.recordPath,
                     std::strerror(errno));
        return false;
    }
    const bool open = m_options.devicePath != nullptr
                          ? m_line.OpenDevice(m_options.devicePath, m_options.baudRate)
                          : m_line.OpenPseudoTerminal(m_options.linkPath);
    if (!open) {
        return false;
    }
    if ((m_options.leaveMinFour || m_options.leaveSoftwareFlowControl) &&
        !m_line.LeavePeerState(m_options.leaveMinFour, m_options.leaveSoftwareFlowControl)) {
        std::fprintf(stderr, "teq6-sim: cannot leave the port's state: a pseudo-terminal only\n");
        return false;
    }
    std::printf("READY %s\n", m_line.Name());
    std::fflush(stdout);
    return true;
}

int Simulator::Run() {
    while (m_state != State::kDone) {
        Step();
    }
    char summary[kSummarySize];
    FormatSummary(m_model.Counters(), summary);
    std::printf("%s\n", summary);
    std::fflush(stdout);
    return m_status;
}

void Simulator::Step() {
    const std::uint64_t now = NowMs();
    ResumeOutputWhenDue(now);
    StartDueAnswer(now);
    if (m_state == State::kDraining && IsDrained(now)) {
        m_state = State::kDone;
        return;
    }
    const std::size_t allowance = m_state == State::kServing ? m_pacer.Allowance(now) : 0;
    struct pollfd fds[kPollCount] = {};
    fds[kPollLine].fd = m_line.Fd();
    fds[kPollLine].events =
        static_cast<short>((allowance > 0 ? POLLIN : 0) | (m_out.IsSent() ? 0 : POLLOUT));
    fds[kPollSignals].fd = m_signals.Fd();
    fds[kPollSignals].events = POLLIN;
    if (poll(fds, kPollCount, PollTimeout(now, allowance)) < 0) {
        return;  // interrupted; the next round looks again
    }
    if ((fds[kPollSignals].revents & POLLIN) != 0) {
        Log("stopped by %s", m_signals.Take());
        m_state = State::kDone;
        return;
    }
    ServeLine(fds[kPollLine].revents, allowance);
    CheckIdleGap(NowMs());
}

void Simulator::ServeLine(short events, std::size_t allowance) {
    if ((events & POLLOUT) != 0) {
        WriteSome();
    }
    if ((events & POLLIN) != 0 && m_state == State::kServing) {
        ReadSome(allowance);
    } else if ((events & (POLLERR | POLLHUP | POLLNVAL)) != 0 && m_state != State::kDone) {
        LoseLine("the line closed", 0);
    }
}

int Simulator::PollTimeout(std::uint64_t nowMs, std::size_t allowance) const {
    std::uint64_t wait = UINT64_MAX;
    if (m_state == State::kServing && m_framer.IsAssembling()) {
        const std::uint64_t gapEnd = m_lastByteMs + m_options.idleGapMs;
        // A gap that is over while bytes still wait to be read is no silence yet; look again
        // shortly rather than spin while a paced read holds them back.
        wait = gapEnd > nowMs ? gapEnd - nowMs : kRecheckMs;
    }
    if (m_state == State::kServing && allowance == 0) {
        wait = std::min(wait, m_pacer.MsUntilNextByte());
    }
    if (m_out.IsSent() && !m_schedule.IsEmpty()) {
        const std::uint64_t due = m_schedule.Next().dueMs;
        wait = std::min(wait, due > nowMs ? due - nowMs : 0);
    }
    if (m_state == State::kDraining) {
        wait = std::min(wait, kRecheckMs);
    }
    if (m_resumeOutputAtMs != 0) {
        wait = std::min(wait, m_resumeOutputAtMs > nowMs ? m_resumeOutputAtMs - nowMs : 0);
    }
    return wait == UINT64_MAX ? kNoTimeout
                              : static_cast<int>(std::min<std::uint64_t>(wait, INT_MAX));
}

void Simulator::StartDueAnswer(std::uint64_t nowMs) {
    if (!m_out.IsSent() || m_schedule.IsEmpty() || m_schedule.Next().dueMs > nowMs) {
        return;
    }
    const ScheduledAnswer& answer = m_schedule.Next();
    if (answer.staleOnly) {
        ReplyComposer::ComposeStale(&m_out);
    } else {
        m_composer.ComposeReply(answer.reply, answer.flood, answer.staleTail, &m_out);
    }
    m_schedule.RemoveNext();
}

// Closing the line hangs it up, and a hang-up throws away what the program has not read yet:
// the answer to the end message must be read first. Bytes written reach the program's queue a
// moment later, not at once, so an empty queue counts only after that moment.
bool Simulator::IsDrained(std::uint64_t nowMs) {
    // A program that has stopped reading must not keep the device from ending.
    if (nowMs >= m_drainDeadlineMs) {
        return true;
    }
    if (!m_schedule.IsEmpty() || !m_out.IsSent()) {
        return false;
    }
    if (m_allSentMs == 0) {
        m_allSentMs = nowMs;
    }
    return nowMs >= m_allSentMs + kSettleMs && m_line.UnreadByPeer() == 0;
}

void Simulator::WriteSome() {
    const std::uint8_t* bytes = nullptr;
    const std::size_t length = m_out.NextChunk(&bytes);
    const ssize_t written = write(m_line.Fd(), bytes, length);
    if (written > 0) {
        m_out.Advance(static_cast<std::size_t>(written));
    } else if (written < 0 && errno != EAGAIN && errno != EINTR) {
        LoseLine("writing failed", errno);
    }
}

void Simulator::ReadSome(std::size_t allowance) {
    std::uint8_t bytes[kReadChunk];
    const ssize_t got = read(m_line.Fd(), bytes, std::min(allowance, sizeof(bytes)));
    if (got < 0 && errno != EAGAIN && errno != EINTR) {
        LoseLine("reading failed", errno);
        return;
    }
    if (got <= 0) {
        return;
    }
    m_pacer.Consume(static_cast<std::size_t>(got));
    m_lastByteMs = NowMs();
    for (ssize_t i = 0; i < got && m_state == State::kServing; ++i) {
        TakeByte(bytes[i]);
    }
}

void Simulator::TakeByte(std::uint8_t byte) {
    Handle(m_framer.Feed(byte));
    if (m_framer.IsConnected() && m_framer.PendingLength() == kBlockSize / 2 &&
        m_model.HangsUpInArrivingBlock()) {
        Log("block %u: hang-up after %zu bytes", m_options.hangupInBlock, m_framer.PendingLength());
        HangUp();
    }
}

void Simulator::CheckIdleGap(std::uint64_t nowMs) {
    if (m_state != State::kServing || !m_framer.IsAssembling() ||
        nowMs < m_lastByteMs + m_options.idleGapMs || InputWaiting()) {
        return;
    }
    Handle(m_framer.IdleGap());
}

bool Simulator::InputWaiting() const {
    struct pollfd input = {m_line.Fd(), POLLIN, 0};
    return poll(&input, 1, 0) > 0 && (input.revents & POLLIN) != 0;
}

void Simulator::Handle(FrameEvent event) {
    switch (event) {
        case FrameEvent::kNone:
            return;
        case FrameEvent::kConnectRequest:
            OnConnectRequest();
            break;
        case FrameEvent::kBlock:
            OnBlock();
            break;
        case FrameEvent::kEndMessage:
            OnEndMessage();
            break;
        case FrameEvent::kFramingError:
            m_model.OnFramingError();
            Log("framing error: %zu bytes dropped", m_framer.DiscardedLength());
            break;
    }
    m_framer.SetConnected(m_model.IsConnected());
}

void Simulator::OnConnectRequest() {
    const Verdict verdict = m_model.OnConnectRequest();
    if (verdict.hangUp) {
        Log("connect request %u: hang-up", verdict.number);
        HangUp();
        return;
    }
    char answer[kAnswerTextSize];
    DescribeAnswer(verdict, answer);
    Log("connect request %u: %s", verdict.number, answer);
    if (verdict.answer == Answer::kAck) {
        HoldOutputBefore(1);
    }
    if (verdict.answer != Answer::kNone) {
        Schedule(ReplyByte(verdict.answer), false, false);
    }
    if (verdict.answer == Answer::kAck && m_options.stale) {
        ScheduleStale();
    }
}

void Simulator::OnBlock() {
    const Verdict verdict = m_model.OnBlock(m_framer.LastBlock());
    char answer[kAnswerTextSize];
    DescribeAnswer(verdict, answer);
    Log("block %u attempt %u: %s", verdict.number, verdict.attempt, answer);
    if (verdict.answer == Answer::kNone) {
        return;
    }
    if (verdict.answer == Answer::kAck && m_recorder.IsOpen() &&
        !m_recorder.Record(m_framer.LastBlock())) {
        std::fprintf(stderr, "teq6-sim: cannot record block %u: %s\n", verdict.number,
                     std::strerror(errno));
        m_status = EXIT_FAILURE;
    }
    if (verdict.answer == Answer::kAck) {
        HoldOutputBefore(verdict.number + 1);
    }
    const bool firstBlock = verdict.number == 1 && verdict.attempt == 1;
    // The program goes straight on to its next message, so stale bytes must already be waiting
    // when it takes the ACK: they trail the ACK in the same write, to be purged before the next
    // block goes out.
    const bool staleTail = verdict.answer == Answer::kAck && m_options.stale;
    Schedule(ReplyByte(verdict.answer), firstBlock && m_options.flood > 0, staleTail);
}

void Simulator::OnEndMessage() {
    const Verdict verdict = m_model.OnEndMessage();
    char answer[kAnswerTextSize];
    DescribeAnswer(verdict, answer);
    Log("end message: %s", answer);
    if (verdict.answer == Answer::kNone) {
        return;
    }
    Schedule(ReplyByte(verdict.answer), false, false);
    if (!m_options.stay) {
        m_state = State::kDraining;
        m_drainDeadlineMs = NowMs() + m_options.lateMs + kLingerMs;
    }
}

void Simulator::Schedule(std::uint8_t reply, bool flood, bool staleTail) {
    Enqueue(ScheduledAnswer{NowMs() + m_options.lateMs, false, reply, flood, staleTail});
}

void Simulator::ScheduleStale() {
    Enqueue(ScheduledAnswer{NowMs() + m_options.lateMs + kStaleDelayMs, true, 0, false, false});
}

void Simulator::Enqueue(const ScheduledAnswer& answer) {
    if (!m_schedule.Add(answer)) {
        Log("answer dropped: %zu answers are already waiting", ReplySchedule::kCapacity);
    }
}

// Before the answer that lets the program go on to block next, so that its first write of that
// block already finds the output stopped.
void Simulator::HoldOutputBefore(std::uint32_t next) {
    if (m_options.stopOutputAt != next) {
        return;
    }
    if (!m_line.HoldPeerOutput(true)) {
        Log("cannot stop the port's output");
        return;
    }
    Log("block %u: port output stopped", next);
    if (m_options.resumeOutputAfterMs != 0) {
        m_resumeOutputAtMs = NowMs() + m_options.resumeOutputAfterMs;
    }
}

void Simulator::ResumeOutputWhenDue(std::uint64_t nowMs) {
    if (m_resumeOutputAtMs == 0 || nowMs < m_resumeOutputAtMs) {
        return;
    }
    m_resumeOutputAtMs = 0;
    m_line.HoldPeerOutput(false);
    Log("port output resumed");
}

void Simulator::HangUp() {
    m_line.Close();
    m_state = State::kDone;
}

void Simulator::LoseLine(const char* what, int error) {
    if (error != 0) {
        std::fprintf(stderr, "teq6-sim: %s: %s\n", what, std::strerror(error));
    } else {
        std::fprintf(stderr, "teq6-sim: %s\n", what);
    }
    m_line.Close();
    m_state = State::kDone;
    m_status = EXIT_FAILURE;
}

void Simulator::Log(const char* format, ...) const {
    if (m_options.quiet) {
        return;
    }
    std::va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);
    va_end(arguments);
    std::fputc('\n', stderr);
}
