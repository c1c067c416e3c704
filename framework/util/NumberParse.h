// Digit parsing and small text helpers for byte text and UTF-16 text.
#pragma once

#include <cstddef>
#include <cstdint>

// 1 for '0'..'9', else 0.
int isDigit(int c);
int isDigit(char16_t c);

// Reads decimal digits (no sign) and advances *text past them; 0 without a
// digit. The value wraps modulo 2^32.
uint32_t parseDecimal(const char** text);
uint32_t parseDecimal(const char16_t** text);

// Units before the terminator, at most max; 0 for max 0 or a null text.
size_t strnlenNarrow(const char* text, size_t max);
size_t strnlenWide(const char16_t* text, size_t max);

// *value = *value / *divisor (unsigned) and returns the remainder. A zero
// divisor gives the largest value and remainder 0, so it never faults.
uint32_t divideInPlace(uint32_t* value, const uint32_t* divisor);

// Reads hexadecimal digits until any other character and stores where it
// stopped in *stop (when given). A null or empty text gives 0.
uint32_t parseHex(const char* text, const char** stop = nullptr);
