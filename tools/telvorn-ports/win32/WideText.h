// What Windows' wide calls say, as the tool keeps and prints it: UTF-8.
#pragma once

#include <cstddef>

// Converts wide into text of size bytes, its end cut off at a whole character when it does not
// fit. Empty when it cannot be converted.
void WideToUtf8(const wchar_t* wide, char* text, std::size_t size);
