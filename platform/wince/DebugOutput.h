// Debug output of the platform layer. Text is formatted and then discarded, so
// debug output costs nothing visible on the device; tests can watch the lines
// through the hook. Formatting is bounded: a long text is cut, never overrun.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

void vdebugPrintf(const char* format, va_list args);
void debugPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The framework's printf engines with the caller's buffer and capacity.
int formatNarrowInto(char* buffer, size_t capacity, const char* format, va_list args);
int formatWideInto(char16_t* buffer, size_t capacity, const char16_t* format, va_list args);

// Writes the bytes as lines of up to 8, "label: offset: " then hex, then the
// bytes as characters ('.' outside 32..126), each line through debugPrintf.
void hexDump(const char* label, const void* data, uint32_t length);

// Nothing when the condition holds; else reports the file and line and ends
// the program.
void assertCheck(int condition, const char* fileName, int line);

// Test hook: receives every finished debug line; null stops it.
using DebugOutputHook = void (*)(const char* text);
void setDebugOutputHook(DebugOutputHook hook);
