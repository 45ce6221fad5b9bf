// teq6-sim: a TEQ6 device on a pseudo-terminal or a serial line, for trying and testing telvorn
// without the hardware.
#include <cstdio>
#include <cstdlib>
#include <new>

#include "tools/teq6-sim/SimHelp.h"
#include "tools/teq6-sim/SimOptions.h"
#include "tools/teq6-sim/Simulator.h"

namespace {
constexpr int kExitUsage = 2;
constexpr std::size_t kErrorSize = 256;
}  // namespace

int main(int argc, char** argv) {
    SimOptions options;
    char error[kErrorSize];
    if (!ParseSimOptions(argc, argv, &options, error, sizeof(error))) {
        std::fprintf(stderr, "teq6-sim: %s\nTry 'teq6-sim --help'.\n", error);
        return kExitUsage;
    }
    if (options.help) {
        PrintSimHelp(stdout);
        return EXIT_SUCCESS;
    }
    Simulator* simulator = new (std::nothrow) Simulator(options);
    if (simulator == nullptr) {
        std::fprintf(stderr, "teq6-sim: out of memory\n");
        return EXIT_FAILURE;
    }
    const int status = simulator->Start() ? simulator->Run() : EXIT_FAILURE;
    delete simulator;
    return status;
}
