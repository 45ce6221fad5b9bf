// The thread that lets the user give up: it reads standard input in line mode and raises the
// downloader's abort flag at the first 'x' or 'X'.
#pragma once

#include <cstdint>

// Thread body; the argument is the Downloader. Ends after raising the flag, or at the end of
// input without raising it.
std::uint32_t KeyboardWatcher(void* downloader);
