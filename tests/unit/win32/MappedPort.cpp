#include "MappedPort.h"

#include <cstring>

#include "serial/SerialPort.h"
#include "serial/win32/NativeHandle.h"

namespace win32test {

namespace {

constexpr std::uint32_t kPollMs = 10;

struct GuardedRead {
    platform::Handle port;
    platform::Handle readEvent;
    platform::Handle stopEvent;
    std::uint8_t byte;
    platform::ReadOutcome outcome;
};

std::uint32_t RunGuardedRead(void* argument) {
    GuardedRead* read = static_cast<GuardedRead*>(argument);
    read->outcome = platform::ReadByte(read->port, read->readEvent, read->stopEvent, &read->byte);
    return 0;
}

std::uint32_t QueuedInput(platform::Handle port) {
    COMSTAT status{};
    DWORD errors = 0;
    return ClearCommError(platform::ToNative(port), &errors, &status) ? status.cbInQue : 0;
}

}  // namespace

platform::ReadOutcome GuardedReadByte(platform::Handle port, std::uint8_t* byte) {
    GuardedRead read{port, platform::NewEvent(), platform::NewEvent(), 0,
                     platform::ReadOutcome::kNothing};
    platform::Handle thread = platform::kNoHandle;
    if (read.readEvent != platform::kNoHandle && read.stopEvent != platform::kNoHandle) {
        thread = platform::StartThread(&RunGuardedRead, &read);
    }
    if (thread != platform::kNoHandle) {
        if (platform::WaitForThread(thread, kHangGuardMs) != platform::WaitOutcome::kEnded) {
            platform::SignalEvent(read.stopEvent);
            platform::JoinThread(thread);
        }
        platform::CloseThread(thread);
    } else {
        ADD_FAILURE() << "could not start the reading thread";
    }
    for (platform::Handle event : {read.readEvent, read.stopEvent}) {
        if (event != platform::kNoHandle) {
            platform::CloseEvent(event);
        }
    }
    *byte = read.byte;
    return read.outcome;
}

bool WaitForInput(platform::Handle port, std::uint32_t count) {
    for (std::uint32_t waited = 0; waited < kHangGuardMs; waited += kPollMs) {
        if (QueuedInput(port) >= count) {
            return true;
        }
        platform::SleepMs(kPollMs);
    }
    return false;
}

MappedPort::~MappedPort() {
    for (platform::Handle event : {m_writeEvent, m_readEvent, m_stopEvent}) {
        if (event != platform::kNoHandle) {
            platform::CloseEvent(event);
        }
    }
    if (m_port != platform::kNoHandle) {
        platform::ClosePort(m_port);
    }
}

void MappedPort::SetUp() {
    const std::uint32_t number = MappedPortNumber(m_variable);
    if (number == 0) {
        GTEST_SKIP() << m_variable << " is not set: run under scripts/wine-run-with-ports";
    }
    char name[SerialPort::kDeviceNameSize];
    SerialPort::FormatDeviceName(number, name);
    m_port = platform::OpenPort(name);
    ASSERT_NE(m_port, platform::kNoHandle) << name;
    ASSERT_TRUE(platform::SetZeroTimeouts(m_port));
    m_writeEvent = platform::NewEvent();
    m_readEvent = platform::NewEvent();
    m_stopEvent = platform::NewEvent();
    ASSERT_NE(m_writeEvent, platform::kNoHandle);
    ASSERT_NE(m_readEvent, platform::kNoHandle);
    ASSERT_NE(m_stopEvent, platform::kNoHandle);
}

bool MappedPort::WriteText(const char* text) {
    return platform::WriteMessage(m_port, m_writeEvent, reinterpret_cast<const std::uint8_t*>(text),
                                  static_cast<std::uint32_t>(std::strlen(text)));
}

}  // namespace win32test
