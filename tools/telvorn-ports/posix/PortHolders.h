// Which programs hold a port, as /proc shows them: first the holders of its flock() lock (telvorn
// and other careful programs) that still have the device open, else every process with the device
// open, skipping what this user may not read and the program at a pseudo-terminal's other end.
#pragma once

#include "PortFinding.h"

// "PID 1234 (telvorn)", several joined by commas; empty when /proc shows no holder.
void DescribeHolders(const char* devicePath, char (&text)[PortFinding::kTextSize]);

// Only the holders of its flock() lock that still have the device open.
void DescribeLockHolders(const char* devicePath, char (&text)[PortFinding::kTextSize]);
