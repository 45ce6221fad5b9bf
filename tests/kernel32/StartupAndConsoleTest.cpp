// Start-up and the console as users' Windows machines have them, through the kernel32 double.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Kernel32Double.h"
#include "PortFinding.h"
#include "PortPrinter.h"
#include "PortSurvey.h"
#include "app/Banner.h"
#include "app/Console.h"
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

// What reaches WriteConsoleW from print on a console of the given output code page.
std::wstring OnConsole(UINT codePage, void (*print)()) {
    FakeConsole* fake = kernel32_double::Console();
    fake->outputIsConsole = true;
    fake->outputCodePage = codePage;
    console::Setup();
    print();
    console::Flush();
    fake->outputIsConsole = false;
    console::Setup();
    return fake->written;
}

// UTF-16 whatever the code page: an ANSI (1252) name on an OEM (850) console; a French system's
// words, read wide and kept to printable ASCII; the box as + - | on consoles that draw box
// characters two columns wide; text without line ends in pieces of 256 characters.
TEST(Console, TextReachesAConsoleAsUtf16) {
    kernel32_double::Reset();
    EXPECT_EQ(OnConsole(850, [] { console::Print("File name: Pr\374fung.bin\n"); }),
              L"File name: Pr\u00FCfung.bin\n");

    kernel32_double::Reset();
    kernel32_double::AddPort("\\\\.\\COM251")->openError = ERROR_GEN_FAILURE;
    kernel32_double::Console()->messageError = ERROR_GEN_FAILURE;
    kernel32_double::Console()->message = L"Un p\u00E9riph\u00E9rique ne fonctionne pas.\r\n";
    const std::wstring ports = OnConsole(850, [] {
        PortFinding finding;
        survey::FindPort("COM251", &finding);
        PortPrinter::PrintDetail(finding);
    });
    EXPECT_NE(ports.find(L"cannot open: Un p\u00E9riph\u00E9rique ne fonctionne pas.\n"),
              std::wstring::npos)
        << ports;

    const std::wstring rule(36, L'-');
    const std::wstring plain = L"  +" + rule + L"+\n  | TELVORN v2.00  QEV downloader      |\n" +
                               L"  | Configuration download to the TEQ6 |\n  +" + rule + L"+\n";
    for (UINT codePage : {932u, 936u, 949u, 950u}) {
        kernel32_double::Reset();
        EXPECT_EQ(OnConsole(codePage, [] { PrintBanner(); }), plain) << codePage;
    }

    kernel32_double::Reset();
    OnConsole(437, [] {
        for (int i = 0; i < 300; ++i) {
            console::Print("%c", 'x');
        }
    });
    EXPECT_EQ(kernel32_double::Console()->writes, (std::vector<DWORD>{256, 44}));
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
        EXPECT_EQ(console->inputReads.size(), isConsole ? 0u : 2u) << isConsole;
    }
}

}  // namespace
