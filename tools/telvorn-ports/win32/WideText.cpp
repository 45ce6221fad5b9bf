#include "WideText.h"

#include <windows.h>

void WideToUtf8(const wchar_t* wide, char* text, std::size_t size) {
    int length = lstrlenW(wide);
    int converted = 0;
    // Fewer units until the text fits, the terminating null included; a surrogate pair is never
    // cut in two, as the conversion would fail on the half of it.
    while (length > 0 &&
           (converted = WideCharToMultiByte(CP_UTF8, 0, wide, length, text,
                                            static_cast<int>(size) - 1, nullptr, nullptr)) == 0) {
        length -= IS_LOW_SURROGATE(wide[length - 1]) && length > 1 ? 2 : 1;
    }
    text[converted] = '\0';
}
