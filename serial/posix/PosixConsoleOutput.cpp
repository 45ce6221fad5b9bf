// Standard output on POSIX: glibc's stdio writes line-buffered streams out at each line end, and a
// terminal's character set comes from the locale.
#include <langinfo.h>
#include <stdio.h>  // flockfile

#include <clocale>
#include <cstdio>
#include <cstring>

#include "serial/Platform.h"

namespace platform {

void BufferStandardOutput(char* buffer, std::size_t size) {
    std::setvbuf(stdout, buffer, _IOLBF, size);
}

void PrintOutput(TextEncoding, const char* format, std::va_list arguments) {
    std::vprintf(format, arguments);
}

void FlushOutput() {
    std::fflush(stdout);
}

bool WritesLinesAsTheyEnd() {
    return true;
}

void LockStandardOutputForGood() {
    flockfile(stdout);
}

BoxStyle ConsoleBoxStyle() {
    // Until the environment's locale is taken, the character set is plain ASCII.
    std::setlocale(LC_CTYPE, "");
    const bool utf8 = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
    return utf8 ? BoxStyle::kUnicode : BoxStyle::kCodePage437;
}

}  // namespace platform
