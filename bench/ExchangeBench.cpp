// What one block's exchange costs when the device answers at once: the program's share of every
// block of a download (purge, reader thread, write and drain, wait, join). Payload bytes per
// second make it comparable with an XMODEM-1K transfer of the same data.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "AnsweringDevice.h"
#include "BenchFiles.h"
#include "LinkedPty.h"
#include "config/DataBlock.h"
#include "serial/SerialPort.h"

namespace {

constexpr std::uint32_t kDirectPort = 97;  // ttyAMA0 in the device folder
// scripts/bench links one end of a socat pair as this port (ttyAMA1) and names the other end in
// kRelayPeerVariable, so that both transfers cross the same relay.
constexpr std::uint32_t kRelayPort = 98;
const char* const kRelayPeerVariable = "TELVORN_BENCH_RELAY_PEER";
constexpr std::uint32_t kBaudRate = 115200;
// 500 blocks carry 1,027,000 payload bytes: the size of the XMODEM-1K transfer beside it.
constexpr std::int64_t kBlocksPerRun = 500;
constexpr int kRuns = 5;

void SendBlocks(benchmark::State& state, SerialPort* port, int deviceLine) {
    DataBlock block;
    FillValidBlock(&block, 0);
    std::int64_t refused = 0;
    {
        AnsweringDevice device(deviceLine);
        for (auto _ : state) {
            if (!port->SendBlock(&block)) {
                ++refused;
            }
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kPayloadSize));
    state.counters["exchanges_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    // Not a check: a refused block would only show that the figures are not those of ACKs.
    state.counters["not_acked"] = static_cast<double>(refused);
}

void BM_SendBlock(benchmark::State& state) {
    LinkedPty line(kDirectPort);
    SerialPort port;
    if (!line.IsReady() || !port.SetPortNumber(kDirectPort) || !port.Configure(kBaudRate)) {
        state.SkipWithError("no linked pseudo-terminal");
        return;
    }
    SendBlocks(state, &port, line.Master());
}

// The device's end of the relay: a terminal of its own, raw like the port.
int OpenRelayPeer() {
    const char* path = std::getenv(kRelayPeerVariable);
    if (path == nullptr) {
        return -1;
    }
    const int line = open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios settings{};
    if (line >= 0 && tcgetattr(line, &settings) == 0) {
        cfmakeraw(&settings);
        tcsetattr(line, TCSANOW, &settings);
    }
    return line;
}

void BM_SendBlockThroughRelay(benchmark::State& state) {
    const int peer = OpenRelayPeer();
    SerialPort port;
    if (peer < 0 || !port.SetPortNumber(kRelayPort) || !port.Configure(kBaudRate)) {
        state.SkipWithError("no relay: run through scripts/bench");
    } else {
        SendBlocks(state, &port, peer);
    }
    if (peer >= 0) {
        close(peer);
    }
}

// The best run is the one least disturbed by whatever else the machine was doing.
double Fastest(const std::vector<double>& runs) {
    return *std::min_element(runs.begin(), runs.end());
}

// Both exchanges are measured the same way, so that their figures compare.
void AsExchangeRuns(benchmark::internal::Benchmark* exchange) {
    exchange->Iterations(kBlocksPerRun)
        ->Repetitions(kRuns)
        ->ReportAggregatesOnly(true)
        ->ComputeStatistics("min", Fastest)
        ->Unit(benchmark::kMicrosecond)
        ->UseRealTime();
}

}  // namespace

BENCHMARK(BM_SendBlock)->Apply(AsExchangeRuns);
BENCHMARK(BM_SendBlockThroughRelay)->Apply(AsExchangeRuns);
