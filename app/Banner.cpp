#include "app/Banner.h"

#include "app/Version.h"
#include "platform/Console.h"
#include "platform/StandardStreams.h"

namespace {

const char* const kTitleFormat = " TELVORN v%s.%s  QEV downloader      ";
const char* const kNotice = " Configuration download to the TEQ6 ";
constexpr int kInnerWidth = 36;

// The box characters: the code page 437 bytes for a file or a pipe (and a terminal of that
// character set), the Unicode ones for a terminal or console that can show them, or plain ASCII
// where they would be drawn out of line.
using platform::TextEncoding;
struct BoxCharacters {
    TextEncoding encoding;
    const char* topLeft;
    const char* topRight;
    const char* bottomLeft;
    const char* bottomRight;
    const char* horizontal;
    const char* vertical;
};
const BoxCharacters kCodePage437 = {
    TextEncoding::kAnsi, "\xDA", "\xBF", "\xC0", "\xD9", "\xC4", "\xB3"};
const BoxCharacters kUnicode = {
    TextEncoding::kUtf8, "\u250C", "\u2510", "\u2514", "\u2518", "\u2500", "\u2502"};
const BoxCharacters kPlain = {TextEncoding::kAnsi, "+", "+", "+", "+", "-", "|"};

const BoxCharacters& BoxFor(platform::BoxStyle style) {
    switch (style) {
        case platform::BoxStyle::kUnicode:
            return kUnicode;
        case platform::BoxStyle::kPlain:
            return kPlain;
        case platform::BoxStyle::kCodePage437:
            break;
    }
    return kCodePage437;
}

void PrintRule(TextEncoding encoding, const char* left, const char* line, const char* right) {
    console::PrintEncoded(encoding, "  %s", left);
    for (int i = 0; i < kInnerWidth; ++i) {
        console::PrintEncoded(encoding, "%s", line);
    }
    console::PrintEncoded(encoding, "%s\n", right);
}

}  // namespace

void PrintBanner() {
    const BoxCharacters& box = BoxFor(platform::ConsoleBoxStyle());
    const TextEncoding encoding = box.encoding;
    PrintRule(encoding, box.topLeft, box.horizontal, box.topRight);
    console::PrintEncoded(encoding, "  %s", box.vertical);
    console::PrintEncoded(encoding, kTitleFormat, version::kMajor, version::kMinor);
    console::PrintEncoded(encoding, "%s\n", box.vertical);
    console::PrintEncoded(encoding, "  %s%s%s\n", box.vertical, kNotice, box.vertical);
    PrintRule(encoding, box.bottomLeft, box.horizontal, box.bottomRight);
}
