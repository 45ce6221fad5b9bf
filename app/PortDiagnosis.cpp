#include "app/PortDiagnosis.h"

#include <cstdio>

#include "app/Notes.h"
#include "platform/ComName.h"
#include "tools/telvorn-ports/PortSurvey.h"

namespace {

constexpr const char kListsThePorts[] = "telvorn-ports lists the ports";

}  // namespace

void ExplainUnusablePort(std::int32_t portNumber) {
    if (portNumber < 1 || portNumber > static_cast<std::int32_t>(platform::kMaxPortNumber)) {
        notes::Say("COM%d: port numbers run from 1 to %u; %s", static_cast<int>(portNumber),
                   static_cast<unsigned>(platform::kMaxPortNumber), kListsThePorts);
        return;
    }
    char name[sizeof "COM256"];
    std::snprintf(name, sizeof name, "COM%d", static_cast<int>(portNumber));
    // The port is looked at again now, as the tool would: what kept it from the download may
    // have changed since, and then the line says what it is now.
    PortFinding finding;
    survey::FindPort(name, &finding);
    const bool hint = finding.Hint()[0] != '\0';
    const char* separator = hint ? ". " : "; ";
    const char* why = hint ? finding.Hint() : kListsThePorts;
    if (finding.Device()[0] == '\0') {
        notes::Say("%s: %s%s%s", name, finding.State(), separator, why);
    } else {
        notes::Say("%s is %s: %s%s%s", name, finding.Device(), finding.State(), separator, why);
    }
}
