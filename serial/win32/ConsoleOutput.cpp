// Standard output on Windows: the C runtime buffers an _IOLBF stream fully, and a console shows
// bytes through its output code page, which belongs to the user's shell and is never changed.
#include <cstdio>

#include "NativeHandle.h"

namespace platform {

namespace {

// The OEM code pages that keep the IBM PC's single-line box characters at the same bytes as code
// page 437 (as their published tables show); 864, 874 and the ANSI and CJK code pages do not.
constexpr UINT kCodePagesWithBoxes[] = {437, 720, 737, 775, 850, 852, 855, 857,
                                        858, 860, 861, 862, 863, 865, 866, 869};

bool HasBoxCharacters(UINT codePage) {
    for (UINT withBoxes : kCodePagesWithBoxes) {
        if (codePage == withBoxes) {
            return true;
        }
    }
    return false;
}

bool IsConsole(HANDLE output) {
    DWORD mode = 0;
    return GetConsoleMode(output, &mode) != 0;
}

}  // namespace

void BufferStandardOutput(char* buffer, std::size_t size) {
    std::setvbuf(stdout, buffer, _IOLBF, size);
}

bool WritesLinesAsTheyEnd() {
    return false;
}

void LockStandardOutputForGood() {
    _lock_file(stdout);
}

BoxStyle ConsoleBoxStyle() {
    // A file or a pipe gets the code page 437 bytes, whatever the console around it shows.
    if (!IsConsole(GetStdHandle(STD_OUTPUT_HANDLE))) {
        return BoxStyle::kCodePage437;
    }
    const UINT codePage = GetConsoleOutputCP();
    if (codePage == CP_UTF8) {
        return BoxStyle::kUnicode;
    }
    return HasBoxCharacters(codePage) ? BoxStyle::kCodePage437 : BoxStyle::kPlain;
}

}  // namespace platform
