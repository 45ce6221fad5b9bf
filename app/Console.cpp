#include "app/Console.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#if !defined(_WIN32)
#include <langinfo.h>
#include <stdio.h>  // flockfile

#include <clocale>
#endif

namespace {
constexpr std::size_t kOutputBufferSize = 256;
}  // namespace

namespace console {

void Setup() {
    std::setvbuf(stdout, nullptr, _IOLBF, kOutputBufferSize);
#if !defined(_WIN32)
    std::setlocale(LC_CTYPE, "");
#endif
}

void Print(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
#if defined(_WIN32)
    // The Windows C runtime buffers _IOLBF streams fully; line ends must reach the console as
    // they do elsewhere.
    if (std::strchr(format, '\n') != nullptr) {
        std::fflush(stdout);
    }
#endif
}

void Flush() {
    std::fflush(stdout);
}

void Finish() {
    Flush();
    // Never released: the watcher may still be running, and it now waits here until the
    // process ends.
#if defined(_WIN32)
    _lock_file(stdout);
#else
    flockfile(stdout);
#endif
}

bool WantsUnicodeBoxes() {
#if defined(_WIN32)
    return false;
#else
    return std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
#endif
}

}  // namespace console
