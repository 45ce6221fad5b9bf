// Standard input and output as the operating system hands them over. Only these operations print;
// the rest of the program prints through the text layer in Console.h.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace platform {

// First thing in main, before anything opens a file: a standard stream found closed gets the null
// device, so that a port is never handed descriptor 0, 1 or 2 and the console text never goes
// down the serial line (POSIX; Windows hands out no such numbers).
void KeepStandardStreamsOpen();

// Line buffering of standard output in the caller's buffer, which must outlive every print.
void BufferStandardOutput(char* buffer, std::size_t size);

// What a printed text is encoded in. Only Windows tells them apart: a console there is written in
// UTF-16, from the ANSI code page for the program's own text and the arguments it was given, from
// UTF-8 for the Unicode box characters and for what the system's wide calls said; into a file or
// a pipe, ANSI text goes as it is and UTF-8 text in the ANSI code page. POSIX writes both as they
// are.
enum class TextEncoding { kAnsi, kUtf8 };

// As vprintf into standard output, through the buffer above. Single calls do not interleave.
void PrintOutput(TextEncoding encoding, const char* format, std::va_list arguments);

// Writes out what is buffered.
void FlushOutput();

// Whether the C library writes out a line-buffered stream at each line end by itself. The Windows
// C runtime buffers such a stream fully, so there the caller flushes after each line.
bool WritesLinesAsTheyEnd();

// Keeps every other thread from printing or flushing from now until the process ends.
void LockStandardOutputForGood();

enum class BoxStyle {
    kCodePage437,  // the bytes DA C4 BF B3 C0 D9, in the ANSI encoding (that is, as they are)
    kUnicode,      // U+250C and its kin, in UTF-8
    kPlain,        // + - |
};

// How the banner's box can be drawn where standard output goes.
BoxStyle ConsoleBoxStyle();

// Reads one character from standard input without stdio buffering, waiting until one comes.
// False at the end of input.
bool ReadInputChar(char* character);

}  // namespace platform
