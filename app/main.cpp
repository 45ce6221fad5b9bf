// telvorn: downloads a TEQ6 configuration file into the device over a serial port.
#include <cstdio>
#include <new>

#include "app/Banner.h"
#include "app/CommandLine.h"
#include "app/Downloader.h"
#include "app/KeyboardWatcher.h"
#include "app/Notes.h"
#include "app/PortDiagnosis.h"
#include "app/Version.h"
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
constexpr int kExitAnswered = 0;

constexpr const char kUsage[] = "Usage: TELVORN <filename> [<port number>] [-b<baud rate>]\n";

void PrintHelp() {
    console::Print("%s", kUsage);
    console::Print(
        "Downloads a TEQ6 configuration file into the device on a serial port.\n"
        "  -N       the COM port number, with its dash: -33 for COM33 (default 1)\n"
        "  -bRATE   the baud rate, right after -b: -b57600 (default 115200)\n"
        "Enter x while it runs to give up. telvorn-ports lists the ports and their\n"
        "numbers; telvorn(1) describes the rest. A file named --help is ./--help.\n");
}

void WarnAboutLikelyMistakes(int argc, char* argv[]) {
    for (int i = 2; i < argc; ++i) {
        char text[512];
        if (DescribeLikelyMistake(argv[i], text, sizeof text)) {
            notes::Say("%s", text);
        }
    }
}

int Report(const char* format, int value, ResultCode code) {
    console::Print(format, value, ErrorText(code));
    return code;
}

int Run(const CommandLine& line, const char* shownName) {
    theDownloader = new (std::nothrow) Downloader;
    if (theDownloader == nullptr) {
        console::Print("Could not create object\n");
        return kExitNoDownloader;
    }
    ResultCode code = theDownloader->LoadFile(line.fileName);
    if (code != Success) {
        console::Print("Error loading file '%s': %s\n", shownName, ErrorText(code));
        return code;
    }
    code = theDownloader->SetPort(static_cast<std::uint32_t>(line.portNumber));
    if (code != Success) {
        Report("Error setting port number %d: %s\n", line.portNumber, code);
        ExplainUnusablePort(line.portNumber);
        return code;
    }
    code = theDownloader->SetBaudRate(static_cast<std::uint32_t>(line.baudRate));
    if (code != Success) {
        return Report("Error setting baud rate %d: %s\n", line.baudRate, code);
    }
    theWatcher = platform::StartThread(&KeyboardWatcher, theDownloader);
    if (theWatcher == platform::kNoHandle) {
        notes::Say(
            "the keyboard could not be watched for x (no thread could start); nothing was sent");
        return kExitNoWatcher;
    }
    code = theDownloader->Download();
    if (code != Success) {
        console::Print("Error loading data: %s", ErrorText(code));
        if (code == InvalidPort || code == CannotOpenPort) {
            ExplainUnusablePort(line.portNumber);
        }
        return code;
    }
    console::Print("\n\nSuccessfully loaded data file '%s' to the TEQ6", shownName);
    return Success;
}

}  // namespace

int main(int argc, char* argv[]) {
    platform::KeepStandardStreamsOpen();
    console::Setup();
    CommandLine line;
    if (!ParseCommandLine(argc, argv, &line)) {
        console::Print("%s", kUsage);
        return kExitUsage;
    }
    if (IsHelpRequest(line.fileName) || IsVersionRequest(line.fileName)) {
        if (IsHelpRequest(line.fileName)) {
            PrintHelp();
        } else {
            console::Print("telvorn %s.%s\n", version::kMajor, version::kMinor);
        }
        console::Finish();
        return kExitAnswered;
    }
    PrintBanner();
    // The name as given is what is opened; the console shows it with its control bytes masked.
    const console::ShownText shownName(line.fileName);
    console::Print("File name: %s\n", shownName.Get());
    console::Print("Baud rate: %d\n", static_cast<int>(line.baudRate));
    console::Print("COM Port: %d\n", static_cast<int>(line.portNumber));
    WarnAboutLikelyMistakes(argc, argv);
    const int status = Run(line, shownName.Get());
    // The watcher may still be blocked reading the keyboard; the process ends without it.
    console::Finish();
    return status;
}
