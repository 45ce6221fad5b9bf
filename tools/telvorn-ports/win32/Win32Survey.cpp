// COM1 to COM256, probed as telvorn's start-up probes them (all at once, and no
// longer than its limit: an outgoing Bluetooth port can block an open for
// seconds), named as the Setup API names them.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "PortNames.h"
#include "PortSurvey.h"
#include "WideText.h"
#include "platform/ComName.h"

#include "platform/win32/PortProbe.h"

namespace survey {

namespace {

constexpr std::size_t kTextSize = PortFinding::kTextSize;

bool IsMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Windows' own words for the error in UTF-8, without the line end they come
// with.
void SetCannotOpen(DWORD error, PortFinding* finding) {
    wchar_t wide[kTextSize] = {};
    char reason[kTextSize] = {};
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, wide, kTextSize, nullptr);
    if (length == 0) {
        std::snprintf(reason, sizeof reason, "error %lu", static_cast<unsigned long>(error));
    } else {
        WideToUtf8(wide, reason, sizeof reason);
    }
    reason[std::strcspn(reason, "\r\n")] = '\0';
    finding->SetState("cannot open: ");
    finding->AppendToState(reason);
}

using platform::win32::ProbeAnswer;
using platform::win32::ProbeReport;

constexpr std::uint32_t kPortCount = platform::kMaxPortNumber;

// COM1 to COM256, probed together; report[n - 1] is COMn's.
void ProbeEveryPort(ProbeReport (&reports)[kPortCount]) {
    char deviceNames[kPortCount][platform::kDeviceNameSize];
    const char* names[kPortCount];
    for (std::uint32_t index = 0; index < kPortCount; ++index) {
        platform::FormatDeviceName(index + 1, deviceNames[index]);
        names[index] = deviceNames[index];
    }
    platform::win32::ProbePortsReporting(names, kPortCount, reports);
}

// False when neither the probe nor the Setup API finds the port.
bool Describe(std::uint32_t number, const ProbeReport& report, const PortNames& names,
              PortFinding* finding) {
    char deviceName[platform::kDeviceNameSize];
    platform::FormatDeviceName(number, deviceName);
    finding->SetNumber(number);
    finding->SetDevice(deviceName);
    finding->AddFact("name", PortFinding::FactStyle::kBare, names.FriendlyName(number));
    finding->AddFact("manufacturer", PortFinding::FactStyle::kBare, names.Manufacturer(number));
    if (report.answer == ProbeAnswer::kFree) {
        finding->SetState("free");
        return true;
    }
    if (report.answer == ProbeAnswer::kNone) {
        char state[kTextSize];
        std::snprintf(state, sizeof state,
                      "cannot open: no answer within %u ms (telvorn does not list it)",
                      static_cast<unsigned>(platform::win32::kProbeLimitMs));
        finding->SetState(state);
        return true;
    }
    const DWORD error = report.error;
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) {
        finding->SetState("held by another program");
    } else {
        SetCannotOpen(error, finding);
    }
    return !IsMissing(error) || names.IsKnown(number);
}

// A port that the system numbered past COM256: telvorn's port numbers end
// there, so however free it is, it cannot be used until Device Manager gives it
// a lower number.
void DescribeBeyondRange(const PortNames& names, std::size_t index, PortFinding* finding) {
    char deviceName[PortFinding::kTextSize];
    std::snprintf(deviceName, sizeof deviceName, "\\\\.\\%s", names.BeyondRangeName(index));
    finding->SetNumber(PortFinding::kNoNumber);
    finding->SetDevice(deviceName);
    finding->AddFact("name", PortFinding::FactStyle::kBare, names.BeyondRangeFriendlyName(index));
    finding->AddFact("manufacturer", PortFinding::FactStyle::kBare,
                     names.BeyondRangeManufacturer(index));
    finding->SetState("not reachable by telvorn (COM numbers above 256)");
}

}  // namespace

void ListPorts(PortPrinter* printer) {
    PortNames names;
    names.Load();
    static ProbeReport reports[kPortCount];
    ProbeEveryPort(reports);
    for (std::uint32_t number = 1; number <= kPortCount; ++number) {
        PortFinding finding;
        if (Describe(number, reports[number - 1], names, &finding)) {
            printer->PrintLine(finding);
        }
    }
    for (std::size_t index = 0; index < names.BeyondRangeCount(); ++index) {
        PortFinding finding;
        DescribeBeyondRange(names, index, &finding);
        printer->PrintLine(finding);
    }
}

Lookup FindPort(const char* name, PortFinding* finding) {
    std::uint32_t number = 0;
    if (!platform::ParseComName(name, &number)) {
        finding->SetState("not a port name (COM1 to COM256)");
        return Lookup::kMissing;
    }
    PortNames names;
    names.Load();
    char deviceName[platform::kDeviceNameSize];
    platform::FormatDeviceName(number, deviceName);
    const char* const probed[] = {deviceName};
    ProbeReport report{};
    platform::win32::ProbePortsReporting(probed, 1, &report);
    if (!Describe(number, report, names, finding)) {
        finding->SetState("no such port");
        return Lookup::kMissing;
    }
    return Lookup::kFound;
}

}  // namespace survey
