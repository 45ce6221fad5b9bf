// The tool's exit statuses, so scripts can tell a bad file from a bad command line.
#pragma once

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // an invalid file, or a file that could not be read or written
constexpr int kExitUsage = 2;
