// The simulator's --help text.
#pragma once

#include <cstdio>

void PrintSimHelp(std::FILE* out);
