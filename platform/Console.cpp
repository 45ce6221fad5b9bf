#include "platform/Console.h"

#include <cstdarg>
#include <cstring>
#include <new>

#include "platform/StandardStreams.h"

namespace {

constexpr std::size_t kOutputBufferSize = 256;

// Standard output's own buffer: glibc ignores the size it is given unless the buffer comes with
// it, and device text without line ends would then come out in chunks of its default size.
char outputBuffer[kOutputBufferSize];

void PrintIn(platform::TextEncoding encoding, const char* format, std::va_list arguments) {
    platform::PrintOutput(encoding, format, arguments);
    if (!platform::WritesLinesAsTheyEnd() && std::strchr(format, '\n') != nullptr) {
        platform::FlushOutput();
    }
}

}  // namespace

namespace console {

void Setup() {
    platform::BufferStandardOutput(outputBuffer, kOutputBufferSize);
}

void Print(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    PrintIn(platform::TextEncoding::kAnsi, format, arguments);
    va_end(arguments);
}

void PrintEncoded(platform::TextEncoding encoding, const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    PrintIn(encoding, format, arguments);
    va_end(arguments);
}

void MaskControls(char* text) {
    for (char* c = text; *c != '\0'; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        if (byte < 0x20 || byte == 0x7F) {
            *c = '?';
        }
    }
}

ShownText::ShownText(const char* text)
    : m_text(text), m_copy(new (std::nothrow) char[std::strlen(text) + 1]) {
    if (m_copy != nullptr) {
        std::memcpy(m_copy, text, std::strlen(text) + 1);
        MaskControls(m_copy);
    }
}

ShownText::~ShownText() {
    delete[] m_copy;
}

void Flush() {
    platform::FlushOutput();
}

void Finish() {
    Flush();
    // Never released: the watcher may still be running, and it now waits here until the
    // process ends.
    platform::LockStandardOutputForGood();
}

}  // namespace console
