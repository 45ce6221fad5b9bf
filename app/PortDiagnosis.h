// Why the port the user gave cannot be used, said in telvorn-ports' own words after the report.
#pragma once

#include <cstdint>

void ExplainUnusablePort(std::int32_t portNumber);
