// What the kernel publishes about a tty under /sys/class/tty: the driver, and for a USB device
// the vendor and product IDs, manufacturer, product and serial number.
#pragma once

#include "PortFinding.h"

// Adds what sysfs says about the tty named fileName ("ttyUSB0"); nothing when it says nothing.
void AddSysfsFacts(const char* fileName, PortFinding* finding);

// An 8250 port slot with no UART fitted: its device file exists, but no port stands behind it.
bool HasNoHardware(const char* fileName);
