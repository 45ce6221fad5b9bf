// telvorn: downloads a TEQ6 configuration file into the device over a serial port.
#include <cstdio>
#include <new>

#include "app/Banner.h"
#include "app/CommandLine.h"
#include "app/Downloader.h"
#include "app/KeyboardWatcher.h"
#include "platform/Console.h"
#include "platform/StandardStreams.h"
#include "platform/Threads.h"

// The downloader and the watcher live until the process ends; keeping them here keeps them
// reachable to the very end instead of leaking them. Outside the anonymous namespace, so that
// the compiler cannot drop the watcher's handle as a value that is never read.
namespace run {
Downloader* theDownloader = nullptr;
platform::Handle theWatcher = platform::kNoHandle;
}  // namespace run

namespace {

using run::theDownloader;
using run::theWatcher;

constexpr int kExitUsage = 2;
constexpr int kExitNoDownloader = 3;
constexpr int kExitNoWatcher = 1;

int Report(const char* format, int value, ResultCode code) {
    console::Print(format, value, ErrorText(code));
    return code;
}

int Run(const CommandLine& line) {
    theDownloader = new (std::nothrow) Downloader;
    if (theDownloader == nullptr) {
        console::Print("Could not create object\n");
        return kExitNoDownloader;
    }
    ResultCode code = theDownloader->LoadFile(line.fileName);
    if (code != Success) {
        console::Print("Error loading file '%s': %s\n", line.fileName, ErrorText(code));
        return code;
    }
    code = theDownloader->SetPort(static_cast<std::uint32_t>(line.portNumber));
    if (code != Success) {
        return Report("Error setting port number %d: %s\n", line.portNumber, code);
    }
    code = theDownloader->SetBaudRate(static_cast<std::uint32_t>(line.baudRate));
    if (code != Success) {
        return Report("Error setting baud rate %d: %s\n", line.baudRate, code);
    }
    theWatcher = platform::StartThread(&KeyboardWatcher, theDownloader);
    if (theWatcher == platform::kNoHandle) {
        // Without the watcher 'x' could not end the run; the user must know why nothing started.
        std::fputs("telvorn: cannot start the keyboard watcher ('x' to exit)\n", stderr);
        return kExitNoWatcher;
    }
    code = theDownloader->Download();
    if (code != Success) {
        console::Print("Error loading data: %s", ErrorText(code));
        return code;
    }
    console::Print("\n\nSuccessfully loaded data file '%s' to the TEQ6", line.fileName);
    return Success;
}

}  // namespace

int main(int argc, char* argv[]) {
    platform::KeepStandardStreamsOpen();
    console::Setup();
    CommandLine line;
    if (!ParseCommandLine(argc, argv, &line)) {
        console::Print("Usage: TELVORN <filename> [<port number>] [-b<baud rate>]\n");
        return kExitUsage;
    }
    PrintBanner();
    console::Print("File name: %s\n", line.fileName);
    console::Print("Baud rate: %d\n", static_cast<int>(line.baudRate));
    console::Print("COM Port: %d\n", static_cast<int>(line.portNumber));
    const int status = Run(line);
    // The watcher may still be blocked reading the keyboard; the process ends without it.
    console::Finish();
    return status;
}
