// 16.16 fixed-point products of the 2D library's rasterizer. Every product is
// formed in 64 bits and only the shifted result is narrowed, so no
// intermediate can wrap.
#pragma once

#include <cstdint>

using Fixed = int32_t;

inline constexpr Fixed kFixedOne = 0x10000;

// An integer moved into 16.16 by the device's shift: values past ±32767
// wrap instead of overflowing.
constexpr Fixed intToFixed(int32_t v)
{
    return static_cast<Fixed>(static_cast<uint32_t>(v) << 16);
}

// Narrowing keeps the low 32 bits (two's complement), as the device did.
constexpr int32_t fixMul(int32_t a, int32_t b)
{
    return static_cast<int32_t>((static_cast<int64_t>(a) * b) >> 16);
}
constexpr int32_t fixMul24(int32_t a, int32_t b)
{
    return static_cast<int32_t>((static_cast<int64_t>(a) * b) >> 24);
}
constexpr int32_t fixMul30(int32_t a, int32_t b)
{
    return static_cast<int32_t>((static_cast<int64_t>(a) * b) >> 30);
}
// n is 0..63.
constexpr int32_t mulShift(int32_t a, int32_t b, int n)
{
    return static_cast<int32_t>((static_cast<int64_t>(a) * b) >> n);
}
constexpr int32_t dot3Shift(int32_t a, int32_t b, int32_t c, int32_t d, int32_t e, int32_t f, int n)
{
    return static_cast<int32_t>((static_cast<int64_t>(a) * b + static_cast<int64_t>(c) * d +
                                 static_cast<int64_t>(e) * f) >> n);
}
// Sums wrap in 32 bits as the device's adds did, without signed overflow.
constexpr int32_t wrapAdd(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
constexpr int32_t wrapSub(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
// For count vectors strideWords apart, component outIndex becomes
// (x a + y b + z c) >> 16 of that vector's own x, y, z.
inline void transformComponent(int32_t* vectors, uint32_t count, uint32_t strideWords, uint32_t outIndex, int32_t a,
                               int32_t b, int32_t c)
{
    for (uint32_t i = 0; i < count; ++i, vectors += strideWords)
        vectors[outIndex] = dot3Shift(vectors[0], a, vectors[1], b, vectors[2], c, 16);
}
