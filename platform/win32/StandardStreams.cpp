// The standard streams on Windows. The C runtime buffers an _IOLBF stream fully, and it hands a
// console bytes that the console shows through its output code page: the user's shell's, never
// changed here, and rarely the one the text was written in. So a console gets UTF-16 through
// WriteConsoleW, in pieces of the program's buffer size, and files and pipes get bytes through the
// C runtime as before.
// Keyboard input is read straight from the standard input handle: a thread blocked there must not
// hold the C runtime's stream lock while the process ends. Windows hands a process no numbered
// descriptors that a port could take over: a missing standard handle stays missing.
#include <cstdio>
#include <new>

#include "NativeHandle.h"
#include "platform/StandardStreams.h"

namespace platform {

namespace {

// Their consoles draw the box characters two columns wide, which breaks the box apart.
constexpr UINT kDoubleWidthBoxCodePages[] = {932, 936, 949, 950};

// Most texts are a line or less; a longer one (a long file name) takes memory from the heap.
constexpr std::size_t kShortTextSize = 512;
// WriteConsoleW is never handed more than the program's buffer size at once.
constexpr std::size_t kLongestPiece = 256;

HANDLE consoleOutput = nullptr;  // null when standard output is not a console
wchar_t piece[kLongestPiece];
std::size_t pieceSize = kLongestPiece;
std::size_t pieceLength = 0;

bool IsConsole(HANDLE stream) {
    DWORD mode = 0;
    return GetConsoleMode(stream, &mode) != 0;
}

bool DrawsBoxesDoubleWidth(UINT codePage) {
    for (UINT doubleWidth : kDoubleWidthBoxCodePages) {
        if (codePage == doubleWidth) {
            return true;
        }
    }
    return false;
}

// The stack for a short text, the heap for a longer one; Data() is null without memory.
template <typename Char>
class TextSpace {
  public:
    explicit TextSpace(std::size_t length)
        : m_data(length <= kShortTextSize ? m_short : new (std::nothrow) Char[length]) {}
    TextSpace(const TextSpace&) = delete;
    TextSpace& operator=(const TextSpace&) = delete;
    ~TextSpace() {
        if (m_data != m_short) {
            delete[] m_data;
        }
    }
    Char* Data() { return m_data; }

  private:
    Char m_short[kShortTextSize];
    Char* m_data;
};

void WritePiece() {
    const wchar_t* next = piece;
    DWORD left = static_cast<DWORD>(pieceLength);
    DWORD written = 0;
    while (left > 0 && WriteConsoleW(consoleOutput, next, left, &written, nullptr) && written > 0) {
        next += written;
        left -= written;
    }
    pieceLength = 0;
}

// A surrogate pair stays in one piece.
void AddToPieces(const wchar_t* text, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        const bool pairStarts = IS_HIGH_SURROGATE(text[i]) && i + 1 < length;
        if (pieceLength + (pairStarts ? 2 : 1) > pieceSize) {
            WritePiece();
        }
        piece[pieceLength++] = text[i];
    }
}

// Each byte makes at most one UTF-16 unit, in UTF-8 and in every ANSI code page; each UTF-16 unit
// takes at most 3 bytes in an ANSI code page (UTF-8 as the system's code page, where a byte that
// is not UTF-8 becomes U+FFFD). False without memory or when a conversion fails, so that the text
// still goes out as it is.
constexpr std::size_t kMostAnsiBytesPerUnit = 3;

bool WriteText(TextEncoding encoding, const char* text, int length) {
    const std::size_t ansiSize = static_cast<std::size_t>(length) * kMostAnsiBytesPerUnit;
    TextSpace<wchar_t> wide(static_cast<std::size_t>(length));
    TextSpace<char> ansi(consoleOutput == nullptr ? ansiSize : 0);
    if (wide.Data() == nullptr || ansi.Data() == nullptr) {
        return false;
    }
    const UINT codePage = encoding == TextEncoding::kUtf8 ? CP_UTF8 : CP_ACP;
    const int wideLength = MultiByteToWideChar(codePage, 0, text, length, wide.Data(), length);
    if (wideLength == 0 && length > 0) {
        return false;
    }
    if (consoleOutput != nullptr) {
        AddToPieces(wide.Data(), static_cast<std::size_t>(wideLength));
        return true;
    }
    const int ansiLength = WideCharToMultiByte(CP_ACP, 0, wide.Data(), wideLength, ansi.Data(),
                                               static_cast<int>(ansiSize), nullptr, nullptr);
    if (ansiLength == 0 && wideLength > 0) {
        return false;
    }
    std::fwrite(ansi.Data(), 1, static_cast<std::size_t>(ansiLength), stdout);
    return true;
}

// Text that goes out as it is, when it could not be converted, comes after what the pieces
// already hold.
void WritePiecesFirst() {
    if (consoleOutput != nullptr) {
        WritePiece();
    }
}

}  // namespace

void BufferStandardOutput(char* buffer, std::size_t size) {
    std::setvbuf(stdout, buffer, _IOLBF, size);
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    consoleOutput = IsConsole(output) ? output : nullptr;
    pieceSize = size < kLongestPiece ? size : kLongestPiece;
    pieceLength = 0;
}

void PrintOutput(TextEncoding encoding, const char* format, std::va_list arguments) {
    if (consoleOutput == nullptr && encoding == TextEncoding::kAnsi) {
        std::vprintf(format, arguments);
        return;
    }
    std::va_list again;
    va_copy(again, arguments);
    // The runtime's lock on standard output guards the pieces too, so that
    // LockStandardOutputForGood holds for both.
    _lock_file(stdout);
    const int length = std::vsnprintf(nullptr, 0, format, arguments);
    if (length >= 0) {
        const std::size_t size = static_cast<std::size_t>(length) + 1;
        TextSpace<char> text(size);
        // Without memory the text goes out as the C runtime writes it, rather than not at all.
        if (text.Data() == nullptr) {
            WritePiecesFirst();
            std::vprintf(format, again);
        } else {
            std::vsnprintf(text.Data(), size, format, again);
            if (!WriteText(encoding, text.Data(), length)) {
                WritePiecesFirst();
                std::fwrite(text.Data(), 1, static_cast<std::size_t>(length), stdout);
            }
        }
    }
    _unlock_file(stdout);
    va_end(again);
}

void FlushOutput() {
    _lock_file(stdout);
    std::fflush(stdout);
    if (consoleOutput != nullptr) {
        WritePiece();
    }
    _unlock_file(stdout);
}

bool WritesLinesAsTheyEnd() {
    return false;
}

void LockStandardOutputForGood() {
    _lock_file(stdout);
}

BoxStyle ConsoleBoxStyle() {
    // A file or a pipe gets the code page 437 bytes, whatever the console around it shows.
    if (consoleOutput == nullptr) {
        return BoxStyle::kCodePage437;
    }
    return DrawsBoxesDoubleWidth(GetConsoleOutputCP()) ? BoxStyle::kPlain : BoxStyle::kUnicode;
}

void KeepStandardStreamsOpen() {}

// On a console, a read returns no byte after Ctrl+Z then Enter, and (since Windows 8) when Ctrl+C
// interrupts it; the user can still type after either. Only a pipe, a file or NUL really ends.
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

// The mingw start-up code expands * and ? in the arguments only when the program defines this, as
// the Windows command line of the tool always has. It lives here, in a file main() always pulls
// into the program, so that the static library does not leave it out.
extern "C" {
int _dowildcard = -1;
}
