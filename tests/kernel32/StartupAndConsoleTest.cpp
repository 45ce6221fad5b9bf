// Start-up and the console as users' Windows machines have them, through the kernel32 double:
// ports whose open blocks (Bluetooth), and consoles whose code pages and reads Wine does not show.
#include <fcntl.h>
#include <io.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Kernel32Double.h"
#include "app/Banner.h"
#include "serial/EnumeratePorts.h"

namespace {

using kernel32_double::FakeConsole;

constexpr DWORD kBlockingOpenMs = 10000;
// The scan's own limit is 2 s; anything near one blocking open means the limit did not hold.
constexpr ULONGLONG kScanBoundMs = 5000;

// Three Bluetooth ports paging absent devices, among ports that open at once: the scan lists the
// others in order within about its limit, with a worker for each open that blocks and one more,
// and each blocked probe is cancelled when the scan ends, so that nothing keeps the process.
TEST(StartUp, PortsWhoseOpenBlocksAreLeftOutWithoutHoldingUpTheScan) {
    kernel32_double::Reset();
    for (const char* name : {"\\\\.\\COM2", "\\\\.\\COM8", "\\\\.\\COM200"}) {
        kernel32_double::AddPort(name);
    }
    const std::vector<const char*> blocking = {"\\\\.\\COM3", "\\\\.\\COM5", "\\\\.\\COM9"};
    for (const char* name : blocking) {
        kernel32_double::AddPort(name)->openDelayMs = kBlockingOpenMs;
    }
    const ULONGLONG started = GetTickCount64();
    SerialPortList* list = EnumeratePorts();
    ASSERT_NE(list, nullptr);
    std::vector<std::uint32_t> listed;
    for (std::uint32_t index = 0; index < list->Count(); ++index) {
        listed.push_back(list->At(index)->PortNumber());
    }
    delete list;
    EXPECT_EQ(listed, (std::vector<std::uint32_t>{2, 8, 200}));
    EXPECT_LT(GetTickCount64() - started, kScanBoundMs);
    EXPECT_LE(kernel32_double::OpeningThreads(), blocking.size() + 1);

    // The double must outlive the blocked opens, which end well before they would by themselves.
    for (const char* name : blocking) {
        const kernel32_double::FakePort* port = kernel32_double::PortNamed(name);
        while (port->calls.empty() && GetTickCount64() - started < kScanBoundMs) {
            Sleep(50);
        }
        EXPECT_EQ(port->calls.size(), 1u) << name;
        EXPECT_EQ(port->opens, port->closes) << name;
    }
}

// What PrintBanner writes to standard output, line ends as written to a file.
std::string PrintedBanner() {
    std::fflush(stdout);
    FILE* capture = std::tmpfile();
    const int saved = _dup(_fileno(stdout));
    _dup2(_fileno(capture), _fileno(stdout));
    const int savedMode = _setmode(_fileno(stdout), _O_BINARY);
    PrintBanner();
    std::fflush(stdout);
    _setmode(_fileno(stdout), savedMode);
    _dup2(saved, _fileno(stdout));
    _close(saved);
    std::string printed;
    std::rewind(capture);
    for (int c = std::fgetc(capture); c != EOF; c = std::fgetc(capture)) {
        printed += static_cast<char>(c);
    }
    std::fclose(capture);
    return printed;
}

std::string Banner(const char* topLeft, const char* topRight, const char* bottomLeft,
                   const char* bottomRight, const char* horizontal, const char* vertical) {
    std::string rule;
    for (int i = 0; i < 36; ++i) {
        rule += horizontal;
    }
    const std::string v = vertical;
    return "  " + std::string(topLeft) + rule + topRight + "\n" + "  " + v +
           " TELVORN v2.00  QEV downloader      " + v + "\n" + "  " + v +
           " Configuration download to the TEQ6 " + v + "\n" + "  " + bottomLeft + rule +
           bottomRight + "\n";
}

// The console's output code page is the user's: the box is drawn in what it can show, and a file
// or a pipe always gets the code page 437 bytes.
TEST(Console, TheBannerBoxFollowsTheConsoleOutputCodePage) {
    const std::string cp437 = Banner("\xDA", "\xBF", "\xC0", "\xD9", "\xC4", "\xB3");
    const std::string unicode = Banner("\u250C", "\u2510", "\u2514", "\u2518", "\u2500", "\u2502");
    const std::string plain = Banner("+", "+", "+", "+", "-", "|");
    struct Case {
        bool isConsole;
        UINT codePage;
        const std::string& expected;
    };
    const Case cases[] = {
        {true, CP_UTF8, unicode}, {true, 437, cp437}, {true, 850, cp437},  {true, 866, cp437},
        {true, 932, plain},       {true, 936, plain}, {true, 949, plain},  {true, 950, plain},
        {true, 1252, plain},      {true, 864, plain}, {false, 437, cp437}, {false, CP_UTF8, cp437},
        {false, 932, cp437},
    };
    for (const Case& c : cases) {
        kernel32_double::Reset();
        kernel32_double::Console()->outputIsConsole = c.isConsole;
        kernel32_double::Console()->outputCodePage = c.codePage;
        EXPECT_EQ(PrintedBanner(), c.expected)
            << "code page " << c.codePage << (c.isConsole ? " on a console" : " into a pipe");
    }
}

// Ctrl+Z then Enter, or a read interrupted by Ctrl+C, returns no byte on a console; the user can
// still type 'x' after it. From a pipe, a file or NUL, no byte is the end of input.
TEST(Console, AReadOfNoByteEndsInputOnlyWhenItIsNotAConsole) {
    for (bool isConsole : {true, false}) {
        kernel32_double::Reset();
        FakeConsole* console = kernel32_double::Console();
        console->inputIsConsole = isConsole;
        console->inputReads = {FakeConsole::kNoByte, FakeConsole::kNoByte, 'x'};
        char character = 0;
        EXPECT_EQ(platform::ReadInputChar(&character), isConsole) << isConsole;
        EXPECT_EQ(character, isConsole ? 'x' : 0) << isConsole;
        EXPECT_EQ(console->inputReadCalls, isConsole ? 3 : 1) << isConsole;
    }
}

}  // namespace
