// Whether telvorn could open a port now, found out as its start-up probe does: open, a shared
// lock, the exclusive-mode check, close. No setting changes and no holder loses the port.
#pragma once

#include "PortFinding.h"

// Sets the finding's state, and its hint when the user can do something about it.
void ProbeDevice(const char* devicePath, PortFinding* finding);
