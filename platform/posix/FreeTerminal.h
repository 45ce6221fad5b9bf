// Opening a terminal only when no other program holds it: the one sequence behind both the port
// object's open and the start-up probe, so that telvorn-ports judges a port as telvorn does.
#pragma once

namespace platform {
namespace posix {

// Why a terminal was not handed out.
enum class TerminalRefusal {
    kNone,
    kOpenFailed,   // open() failed; the attempt's error says why
    kNotTerminal,  // the file is no terminal
    kExclusive,    // a holder has put it in exclusive mode (TIOCEXCL)
    kLockRefused,  // flock() failed; EWOULDBLOCK: another program holds the lock
};

struct TerminalAttempt {
    TerminalRefusal refusal = TerminalRefusal::kNone;
    int error = 0;  // errno of the call that failed
};

constexpr int kNoTerminal = -1;

using LockTaker = bool (*)(int descriptor);

// The descriptor of the free terminal at path, locked by takeLock, or kNoTerminal with the reason
// in *attempt.
int OpenFreeTerminal(const char* path, LockTaker takeLock, TerminalAttempt* attempt);

// Whether the terminal is one this process runs on: its standard input, output or error, or its
// controlling terminal. Made the port, it would get the console's text, lose Ctrl+C to raw mode
// and share the keyboard with the line.
bool IsOwnTerminal(int descriptor);

// The probe's lock: shared, so two programs starting at once do not hide ports from each other,
// and refused all the same while some program holds the port exclusively.
bool TakeProbeLock(int descriptor);

}  // namespace posix
}  // namespace platform
