// The stable name udev gives a serial device in <device folder>/serial/by-id: it stays the same
// when the adapter is plugged into another socket and its ttyUSB number changes.
#pragma once

#include "PortFinding.h"

void AddStableName(const char* devicePath, PortFinding* finding);
