// COM1 to COM256, probed as telvorn's start-up probes them, named as the Setup API names them.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "ComName.h"
#include "PortNames.h"
#include "PortSurvey.h"
#include "serial/Platform.h"
#include "serial/SerialPort.h"

namespace survey {

namespace {

constexpr std::size_t kTextSize = PortFinding::kTextSize;

bool IsMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Windows' own words for the error, without the line end it comes with.
void SetCannotOpen(DWORD error, PortFinding* finding) {
    char reason[kTextSize] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, reason, sizeof reason, nullptr);
    if (length == 0) {
        std::snprintf(reason, sizeof reason, "error %lu", static_cast<unsigned long>(error));
    }
    reason[std::strcspn(reason, "\r\n")] = '\0';
    finding->SetState("cannot open: ");
    finding->AppendToState(reason);
}

// False when neither the probe nor the Setup API finds the port.
bool Describe(std::uint32_t number, const PortNames& names, PortFinding* finding) {
    char deviceName[SerialPort::kDeviceNameSize];
    SerialPort::FormatDeviceName(number, deviceName);
    finding->SetNumber(number);
    finding->SetDevice(deviceName);
    finding->AddFact("name", PortFinding::FactStyle::kBare, names.FriendlyName(number));
    finding->AddFact("manufacturer", PortFinding::FactStyle::kBare, names.Manufacturer(number));
    const platform::Handle probe = platform::ProbePort(deviceName);
    if (probe != platform::kNoHandle) {
        platform::ClosePort(probe);
        finding->SetState("free");
        return true;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) {
        finding->SetState("held by another program");
    } else {
        SetCannotOpen(error, finding);
    }
    return !IsMissing(error) || names.IsKnown(number);
}

}  // namespace

void ListPorts(PortPrinter* printer) {
    PortNames names;
    names.Load();
    for (std::uint32_t number = 1; number <= SerialPort::kMaxPortNumber; ++number) {
        PortFinding finding;
        if (Describe(number, names, &finding)) {
            printer->PrintLine(finding);
        }
    }
}

Lookup FindPort(const char* name, PortFinding* finding) {
    std::uint32_t number = 0;
    if (!ParseComName(name, &number)) {
        finding->SetState("not a port name (COM1 to COM256)");
        return Lookup::kMissing;
    }
    PortNames names;
    names.Load();
    if (!Describe(number, names, finding)) {
        finding->SetState("no such port");
        return Lookup::kMissing;
    }
    return Lookup::kFound;
}

}  // namespace survey
