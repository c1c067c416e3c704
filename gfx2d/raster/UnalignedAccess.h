// Loads and stores of little-endian values at any byte address: pixel,
// vertex and record memory need not be aligned to its element size.
#pragma once

#include <cstdint>
#include <cstring>

template <typename T>
inline T loadUnaligned(const uint8_t* p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename T>
inline void storeUnaligned(uint8_t* p, T v)
{
    std::memcpy(p, &v, sizeof v);
}
