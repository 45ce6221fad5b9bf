// Short lines of the program's own on standard error: what a user needs to know beside the fixed
// messages on standard output (why a port cannot be used, a device that stays silent, how a block
// gave up), which a script reading standard output can keep or drop.
#pragma once

namespace notes {

// One line, "telvorn: " and the text; the line end is added.
void Say(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

}  // namespace notes
