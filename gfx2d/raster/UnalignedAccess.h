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

// The 16- and 32-bit words pixel and texel code moves most, as unsigned
// values whatever their storage.
inline uint32_t load16(const void* p)
{
    return loadUnaligned<uint16_t>(static_cast<const uint8_t*>(p));
}
inline uint32_t load32(const void* p)
{
    return loadUnaligned<uint32_t>(static_cast<const uint8_t*>(p));
}
inline void store16(void* p, uint32_t v)
{
    storeUnaligned(static_cast<uint8_t*>(p), static_cast<uint16_t>(v));
}
inline void store32(void* p, uint32_t v)
{
    storeUnaligned(static_cast<uint8_t*>(p), v);
}
