// Keyboard input straight from the standard input handle: a thread blocked here must not hold
// the C runtime's stream lock while the process ends.
#include "NativeHandle.h"

namespace platform {

bool ReadInputChar(char* character) {
    DWORD count = 0;
    if (!ReadFile(GetStdHandle(STD_INPUT_HANDLE), character, 1, &count, nullptr)) {
        return false;
    }
    return count == 1;
}

}  // namespace platform
