#include "app/Banner.h"

#include "app/Console.h"
#include "app/Version.h"
#include "serial/Platform.h"

namespace {

const char* const kTitleFormat = " TELVORN v%s.%s  QEV downloader      ";
const char* const kNotice = " Configuration download to the TEQ6 ";
constexpr int kInnerWidth = 36;

// The box characters: the code page 437 bytes the console expects, UTF-8 for a terminal or console
// that would show those bytes as garbage, or plain ASCII where neither has them.
struct BoxCharacters {
    const char* topLeft;
    const char* topRight;
    const char* bottomLeft;
    const char* bottomRight;
    const char* horizontal;
    const char* vertical;
};
const BoxCharacters kCodePage437 = {"\xDA", "\xBF", "\xC0", "\xD9", "\xC4", "\xB3"};
const BoxCharacters kUnicode = {"\u250C", "\u2510", "\u2514", "\u2518", "\u2500", "\u2502"};
const BoxCharacters kPlain = {"+", "+", "+", "+", "-", "|"};

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

void PrintRule(const char* left, const char* line, const char* right) {
    console::Print("  %s", left);
    for (int i = 0; i < kInnerWidth; ++i) {
        console::Print("%s", line);
    }
    console::Print("%s\n", right);
}

}  // namespace

void PrintBanner() {
    const BoxCharacters& box = BoxFor(platform::ConsoleBoxStyle());
    PrintRule(box.topLeft, box.horizontal, box.topRight);
    console::Print("  %s", box.vertical);
    console::Print(kTitleFormat, version::kMajor, version::kMinor);
    console::Print("%s\n", box.vertical);
    console::Print("  %s%s%s\n", box.vertical, kNotice, box.vertical);
    PrintRule(box.bottomLeft, box.horizontal, box.bottomRight);
}
