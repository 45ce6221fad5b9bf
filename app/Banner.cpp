#include "app/Banner.h"

#include "app/Console.h"
#include "app/Version.h"

namespace {

const char* const kTitleFormat = " TELVORN v%s.%s  QEV downloader      ";
const char* const kNotice = " Configuration download to the TEQ6 ";
constexpr int kInnerWidth = 36;

// The box characters, as the code page 437 bytes the console expects, or as UTF-8 for a Linux
// terminal that would show those bytes as garbage.
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

void PrintRule(const char* left, const char* line, const char* right) {
    console::Print("  %s", left);
    for (int i = 0; i < kInnerWidth; ++i) {
        console::Print("%s", line);
    }
    console::Print("%s\n", right);
}

}  // namespace

void PrintBanner() {
    const BoxCharacters& box = console::WantsUnicodeBoxes() ? kUnicode : kCodePage437;
    PrintRule(box.topLeft, box.horizontal, box.topRight);
    console::Print("  %s", box.vertical);
    console::Print(kTitleFormat, version::kMajor, version::kMinor);
    console::Print("%s\n", box.vertical);
    console::Print("  %s%s%s\n", box.vertical, kNotice, box.vertical);
    PrintRule(box.bottomLeft, box.horizontal, box.bottomRight);
}
