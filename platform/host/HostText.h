// UTF-16 to UTF-8 and back for the names that cross into POSIX calls.
#pragma once

#include <string>
#include <string_view>

// Converts UTF-16 to UTF-8; false (out cleared) on an unpaired surrogate,
// which names no file on this side.
bool hostUtf16ToUtf8(std::u16string_view text, std::string& out);

// Converts UTF-8 to UTF-16; malformed bytes become U+FFFD.
std::u16string hostUtf8ToUtf16(std::string_view text);

// Length of a null-terminated UTF-16 text (0 for null).
size_t hostWideLength(const char16_t* text);
