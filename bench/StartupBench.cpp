// What the program does before the first byte goes out: the port scan and the file load, and how
// the load grows with the file, the block store widening its array by 10 slots at a time.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <new>
#include <string>

#include "BenchFiles.h"
#include "LinkedPty.h"
#include "config/ConfigFile.h"
#include "config/DataBuffer.h"
#include "serial/EnumeratePorts.h"

namespace {

// One port in the device folder, so the scan finds something, as it would on a workstation.
constexpr std::uint32_t kFoundPort = 99;  // ttyAMA2

// Slots written by the store's growths while it takes blockCount blocks: each growth writes the
// whole new array, 10, 20, 30, ... slots.
double SlotWritesFor(std::uint32_t blockCount) {
    const double growths = (blockCount + DataBuffer::kGrowthStep - 1) / DataBuffer::kGrowthStep;
    return DataBuffer::kGrowthStep * growths * (growths + 1) / 2;
}

void BM_EnumeratePorts(benchmark::State& state) {
    LinkedPty line(kFoundPort);
    std::uint32_t found = 0;
    for (auto _ : state) {
        SerialPortList* ports = EnumeratePorts();
        found = ports != nullptr ? ports->Count() : 0;
        delete ports;
    }
    state.counters["ports_found"] = found;
}

void BM_LoadFile(benchmark::State& state) {
    const auto blockCount = static_cast<std::uint32_t>(state.range(0));
    const std::string path = ConfigFileWithBlocks(blockCount);
    if (path.empty()) {
        state.SkipWithError("cannot write the file");
        return;
    }
    for (auto _ : state) {
        DataBuffer store;
        if (ReadConfigFile(path.c_str(), &store) != Success) {
            state.SkipWithError("the file did not load");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * blockCount);
    state.counters["slot_writes"] = SlotWritesFor(blockCount);
}

// The store alone, without the file: blocks allocated and added, then freed with the store.
void BM_StoreAdd(benchmark::State& state) {
    const auto blockCount = static_cast<std::uint32_t>(state.range(0));
    for (auto _ : state) {
        DataBuffer store;
        for (std::uint32_t i = 0; i < blockCount; ++i) {
            DataBlock* block = new (std::nothrow) DataBlock;
            if (!store.Add(block)) {
                delete block;
                state.SkipWithError("out of memory");
                break;
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * blockCount);
    state.counters["slot_writes"] = SlotWritesFor(blockCount);
}

}  // namespace

BENCHMARK(BM_EnumeratePorts)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadFile)
    ->Arg(10)
    ->Arg(300)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StoreAdd)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
