// Spreads every bit of a key over every bit of the result, so that keys
// differing only in a few bits (neighbouring addresses, names ending in
// different letters) land far apart in a table.
#pragma once

#include <cstdint>

inline uint64_t mixBits(uint64_t h)
{
    h = (h ^ (h >> 33)) * 0xFF51AFD7ED558CCDull;
    h = (h ^ (h >> 33)) * 0xC4CEB9FE1A85EC53ull;
    return h ^ (h >> 33);
}
