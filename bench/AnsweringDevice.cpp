#include "AnsweringDevice.h"

#include <poll.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

#include "config/DataBlock.h"
#include "serial/SerialPort.h"

namespace {
// How often a device with nothing to read looks whether the benchmark has finished.
constexpr int kStopCheckMs = 50;
}  // namespace

AnsweringDevice::AnsweringDevice(int line) : m_line(line), m_thread([this] { Run(); }) {}

AnsweringDevice::~AnsweringDevice() {
    m_stop = true;
    m_thread.join();
}

void AnsweringDevice::Run() {
    const std::uint8_t ack = SerialPort::kAck;
    while (TakeBlock()) {
        if (write(m_line, &ack, 1) != 1) {
            return;
        }
    }
}

bool AnsweringDevice::TakeBlock() {
    std::uint8_t buffer[kBlockSize];
    std::size_t received = 0;
    while (received < kBlockSize) {
        pollfd ready{m_line, POLLIN, 0};
        const int polled = poll(&ready, 1, kStopCheckMs);
        if (m_stop || polled < 0) {
            return false;
        }
        if (polled == 0) {
            continue;
        }
        const ssize_t got = read(m_line, buffer + received, kBlockSize - received);
        if (got <= 0) {
            return false;
        }
        received += static_cast<std::size_t>(got);
    }
    return true;
}
