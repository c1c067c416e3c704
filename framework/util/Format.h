// printf-style formatting into byte text and UTF-16 text, the framework's own
// runtime so output is identical on every platform. Every form is bounded by
// the caller's capacity (in units, terminator included) and always terminates.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

// Flags of formatNumber.
constexpr uint32_t kFormatZeroPad = 1;
constexpr uint32_t kFormatSigned = 2;
constexpr uint32_t kFormatPlus = 4;
constexpr uint32_t kFormatSpace = 8;
constexpr uint32_t kFormatLeft = 16;
constexpr uint32_t kFormatAlternate = 32;
constexpr uint32_t kFormatUpper = 64;

// Writes the formatted text and a terminator into buffer (capacity units,
// terminator included) and returns the units written before the terminator.
// Supported: flags "-+ #0", width and precision (digits or "*"), the ignored
// qualifiers h, l, L and the conversions c s U d i u o x X p n %. Integer
// arguments are 32 bits; %p and %n take pointer-sized arguments. A null %s
// prints "<NULL>" (byte text) or "NULL" (UTF-16 text).
int vformatNarrow(char* buffer, size_t capacity, const char* format, va_list args);
int vformatWide(char16_t* buffer, size_t capacity, const char16_t* format, va_list args);

int formatNarrow(char* buffer, size_t capacity, const char* format, ...);
int formatWide(char16_t* buffer, size_t capacity, const char16_t* format, ...);

// Array forms: the capacity is the array's.
template <size_t N, class... Args>
int formatNarrow(char (&buffer)[N], const char* format, Args... args)
{
    return formatNarrow(buffer, N, format, args...);
}

template <size_t N, class... Args>
int formatWide(char16_t (&buffer)[N], const char16_t* format, Args... args)
{
    return formatWide(buffer, N, format, args...);
}

// The number conversion behind d i u o x X p: writes into [out, end) without a
// terminator and returns the position after the last unit written, or null for
// a base outside 2..36. With kFormatSigned the value is taken as int32_t.
char* formatNumber(char* out, char* end, uint32_t value, int base, int width, int precision,
                   uint32_t flags);
char16_t* formatNumber(char16_t* out, char16_t* end, uint32_t value, int base, int width,
                       int precision, uint32_t flags);
