// Standard output as every part of the program uses it: line-buffered with a 256-byte buffer, so
// text printed without a line end shows up at the next line end or flush. All user-visible text
// goes through Print, from any thread; single calls do not interleave. Text is taken to be in the
// program's own encoding, the one its arguments come in (the ANSI code page on Windows).
#pragma once

#include "platform/StandardStreams.h"

namespace console {

// The bytes that the console shows as the device or a system text sent them (0x20 to 0x7E); every
// other byte is a control or depends on a code page.
inline bool IsPrintable(unsigned char byte) {
    return byte >= 0x20 && byte <= 0x7E;
}

// Control bytes (below 0x20, and 0x7F) shown as '?', every other byte as it is: a name the user
// gave must not move the cursor or retitle the terminal, and names in any language stay readable.
void MaskControls(char* text);

// A copy of a text with its control bytes masked, for printing; the text itself without memory.
class ShownText {
  public:
    explicit ShownText(const char* text);
    ShownText(const ShownText&) = delete;
    ShownText& operator=(const ShownText&) = delete;
    virtual ~ShownText();

    const char* Get() const { return m_copy != nullptr ? m_copy : m_text; }

  private:
    const char* m_text;
    char* m_copy;
};

// Once, before anything is printed.
void Setup();

void Print(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// As Print, for text that is not in the program's own encoding.
void PrintEncoded(platform::TextEncoding encoding, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

void Flush();

// Last call before the process ends: writes out what is buffered and keeps every other thread
// from printing from then on. The C library's final flush at exit takes no lock, so a thread still
// printing or flushing then would write the same text twice.
void Finish();

}  // namespace console
