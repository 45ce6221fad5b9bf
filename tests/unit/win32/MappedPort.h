// The COM ports that scripts/wine-run-with-ports maps to pseudo-terminals, and a fixture that
// holds one open the way the port object does (overlapped, zero time-outs).
#pragma once

#include <cstdint>
#include <cstdlib>

#include <gtest/gtest.h>

#include "serial/Platform.h"

namespace win32test {

// Every byte written to it comes back.
constexpr const char* kEchoPortVariable = "TELVORN_ECHO_PORT";
// Hangs up once it has received its first byte.
constexpr const char* kHangUpPortVariable = "TELVORN_HANGUP_PORT";

// Bounds the waits for a byte that should come, so that a fault fails the test instead of
// hanging it. Generous: it only matters when something is broken.
constexpr std::uint32_t kHangGuardMs = 10000;

// The port number in the variable, or 0 when this run has no such port.
inline std::uint32_t MappedPortNumber(const char* variable) {
    const char* text = std::getenv(variable);
    return text == nullptr ? 0 : static_cast<std::uint32_t>(std::strtoul(text, nullptr, 10));
}

// Reads one byte on a thread of its own; when none has come within kHangGuardMs the read is
// stopped, so the outcome is then kStopped.
platform::ReadOutcome GuardedReadByte(platform::Handle port, std::uint8_t* byte);

// Waits until the port's input queue holds count bytes (or kHangGuardMs have passed); true when
// it does.
bool WaitForInput(platform::Handle port, std::uint32_t count);

class MappedPort : public ::testing::Test {
  protected:
    explicit MappedPort(const char* variable) : m_variable(variable) {}
    ~MappedPort() override;
    void SetUp() override;

    // Writes the text (without its NUL) to the port and waits until it has left.
    bool WriteText(const char* text);

    platform::Handle m_port = platform::kNoHandle;
    platform::Handle m_writeEvent = platform::kNoHandle;
    platform::Handle m_readEvent = platform::kNoHandle;
    platform::Handle m_stopEvent = platform::kNoHandle;

  private:
    const char* m_variable;
};

class EchoPort : public MappedPort {
  protected:
    EchoPort() : MappedPort(kEchoPortVariable) {}
};

class HangUpPort : public MappedPort {
  protected:
    HangUpPort() : MappedPort(kHangUpPortVariable) {}
};

}  // namespace win32test
