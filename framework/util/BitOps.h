// Bit helpers; the resource manager classifies resource ids with them.
#pragma once

#include <cstdint>

// Leading zero bits of a non-negative value (32 for 0); 0 for a negative one.
inline int clz(int32_t v)
{
    if (v < 0)
        return 0;
    return v == 0 ? 32 : __builtin_clz(static_cast<uint32_t>(v));
}

// 1 when bit 31 is clear and bit 30 set.
inline int isBit30Top(uint32_t v)
{
    return (v & 0xC0000000u) == 0x40000000u;
}

// 1 when bit 31 is set.
inline int signBit(uint32_t v)
{
    return static_cast<int>(v >> 31);
}
