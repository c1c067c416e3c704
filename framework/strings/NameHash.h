// The framework's string-to-id hash: h starts as the byte count, then for each
// byte (taken as signed) h = rotl(h, 4) ^ byte. It keys the properties store,
// named handlers and resources made from names.
#pragma once

#include <cstddef>
#include <cstdint>

uint32_t hashName(const char* text);
// The bytes [begin, end) from a given seed instead of the length.
uint32_t hashNameRange(const char* begin, const char* end, uint32_t seed);
// UTF-16 text through its narrow form, so an ASCII name hashes alike both ways.
uint32_t hashName(const char16_t* text);

// Owner key of a handler made from a name.
inline uint32_t nameKey(const char* name) { return hashName(name) | 0x80000000u; }
