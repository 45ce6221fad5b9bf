// The tool's usage text.
#pragma once

#include <cstdio>

void PrintPortsHelp(std::FILE* stream);
