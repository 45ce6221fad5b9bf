// The platform half of telvorn-ports: which serial ports exist and what each of them is. The
// build picks posix/ or win32/; the rest of the tool is written once.
#pragma once

#include "PortFinding.h"
#include "PortPrinter.h"

namespace survey {

// Prints one line per serial port that exists: those with a COM number in COM order, then those
// telvorn cannot reach.
void ListPorts(PortPrinter* printer);

enum class Lookup {
    kFound,
    kMissing,  // no such port; the finding's state says why
};

// The port the user named: "COM33" (any case), or on Linux a device path or a name in the
// device folder.
Lookup FindPort(const char* name, PortFinding* finding);

}  // namespace survey
