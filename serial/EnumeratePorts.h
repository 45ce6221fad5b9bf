// Start-up discovery: which of COM1 to COM256 exist and can be opened right now.
#pragma once

#include "serial/SerialPortList.h"

// A new list of every port that could be opened exclusively, in increasing order; null only if
// the list itself cannot be created.
SerialPortList* EnumeratePorts();
