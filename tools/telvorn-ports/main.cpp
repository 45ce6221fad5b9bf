// telvorn-ports: which COM number is my adapter, and why telvorn cannot open it.
#include <cstdio>
#include <cstring>

#include "PortFinding.h"
#include "PortPrinter.h"
#include "PortSurvey.h"
#include "PortsHelp.h"
#include "platform/Console.h"

namespace {

constexpr int kExitListed = 0;
constexpr int kExitNoSuchPort = 1;
constexpr int kExitUsage = 2;

int Usage() {
    PrintPortsHelp(stderr);
    return kExitUsage;
}

int ListAll() {
    PortPrinter printer;
    survey::ListPorts(&printer);
    if (printer.LinesPrinted() == 0) {
        console::Print("No serial ports found.\n");
    }
    printer.PrintHints();
    return kExitListed;
}

int ShowOne(const char* name) {
    PortFinding finding;
    if (survey::FindPort(name, &finding) == survey::Lookup::kMissing) {
        // What the user typed, and a state of the tool's own words.
        const console::ShownText shownName(name);
        console::Print("%s: %s\n", shownName.Get(), finding.State());
        return kExitNoSuchPort;
    }
    PortPrinter::PrintDetail(finding);
    return kExitListed;
}

int Run(int argc, char** argv) {
    if (argc == 1) {
        return ListAll();
    }
    if (argc != 2) {
        return Usage();
    }
    const char* argument = argv[1];
    if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
        PrintPortsHelp(stdout);
        return kExitListed;
    }
    if (argument[0] == '-' || argument[0] == '\0') {
        return Usage();
    }
    return ShowOne(argument);
}

}  // namespace

int main(int argc, char** argv) {
    console::Setup();
    const int status = Run(argc, argv);
    console::Flush();
    return status;
}
