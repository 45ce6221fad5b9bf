// Keyboard input straight from the standard input handle: a thread blocked here must not hold
// the C runtime's stream lock while the process ends.
#include "NativeHandle.h"

namespace platform {

namespace {

// On a console, a read returns no byte after Ctrl+Z then Enter, and (since Windows 8) when Ctrl+C
// interrupts it; the user can still type after either. Only a pipe, a file or NUL really ends.
bool IsConsole(HANDLE input) {
    DWORD mode = 0;
    return GetConsoleMode(input, &mode) != 0;
}

}  // namespace

bool ReadInputChar(char* character) {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    const bool console = IsConsole(input);
    DWORD count = 0;
    do {
        if (!ReadFile(input, character, 1, &count, nullptr)) {
            return false;
        }
    } while (count == 0 && console);
    return count == 1;
}

}  // namespace platform
