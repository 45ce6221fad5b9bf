#include "app/Notes.h"

#include <cstdarg>
#include <cstdio>

#include "platform/Console.h"

namespace notes {

void Say(const char* format, ...) {
    // Standard error is unbuffered: one formatted call keeps a line whole beside other threads.
    char line[1024];
    // What standard output still holds comes first, so that the line follows the report it
    // explains.
    console::Flush();
    std::va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    console::MaskControls(line);
    std::fprintf(stderr, "telvorn: %s\n", line);
}

}  // namespace notes
