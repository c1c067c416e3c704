// Text conversions. Resources and streams keep text as modified UTF-8: each
// UTF-16 unit on its own (surrogates too), U+0000 as the two bytes C0 80, no
// four-byte forms. Narrow text of the program is Latin-1.
#pragma once

#include <cstddef>
#include <cstdint>

// All return 0 for a null input, a null output or a zero size.
// Decodes up to capacity - 1 units and terminates them; a bad sequence empties
// the output and returns the units decoded before it.
uint32_t utf8ToUtf16(const uint8_t* bytes, uint32_t byteCount, char16_t* out, uint32_t capacity);
// Units the bytes decode to; 0 for a bad sequence.
uint32_t utf16LengthOfUtf8(const uint8_t* bytes, uint32_t byteCount);
uint32_t utf8SizeOfUtf16(const char16_t* units, uint32_t unitCount);
// Encodes whole units while they fit in capacity; no terminator. Returns the
// size the whole text needs, which may exceed what was written.
uint32_t utf16ToUtf8(const char16_t* units, uint32_t unitCount, uint8_t* out, uint32_t capacity);
// Size with room for the 16-bit length stored in front.
uint32_t utf8SizeWithPrefix(const char16_t* units, uint32_t unitCount);

// Bounded copies between narrow and UTF-16 text. Both always terminate the
// output at index n - 1 at the latest and return the characters written.
// Units above U+00FF have no narrow form and become '?'.
size_t wideToNarrow(char* out, size_t n, const char16_t* in);
size_t narrowToWide(char16_t* out, size_t n, const char* in);
