// The engine's 16.16 fixed-point library: table reciprocals, reciprocal square
// root, sine, cosine and arctangent, powers and divisions that saturate
// instead of faulting. Pure functions, no state.
#pragma once

#include <array>
#include <cstdint>

using Fixed = int32_t;

constexpr Fixed kFixedOne = 0x10000;
constexpr Fixed kFixedHalfPi = 102943;
constexpr Fixed kFixedPi = 205887;
constexpr Fixed kFixedTwoPi = 411774;

// 513 entries: 0 -> 0x7FFFFFFF, i -> floor(2^30 / i).
extern const std::array<int32_t, 513> RECIPROCAL_TABLE;
// Angles 0, pi/6, pi/2, pi/3 added by the arctangent's range reductions.
extern const std::array<int32_t, 4> ATAN_OFFSETS;

// About 2^fractionBits / x, sign kept; 0 gives 0x7FFFFFFF shifted by
// fractionBits - 30 (so 0x7FFFFFFF only for 30 fraction bits).
int32_t fixedReciprocal(int32_t x, int32_t fractionBits);
// 1/x in 16.16.
Fixed fixedReciprocal32(Fixed x);
// 1/sqrt(x) for an unsigned 16.16 value; 0 gives 0x7FFFFFFF.
Fixed fixedInvSqrt(uint32_t x);
Fixed fixedSqrt(uint32_t x);
// Angle in [0, pi/2].
void fixedSinCos(Fixed angle, Fixed* sinOut, Fixed* cosOut);
Fixed fixedSin(Fixed angle);
Fixed fixedCos(Fixed angle);
// Angle in (-pi/2, pi/2).
Fixed fixedAtan(Fixed t);
// Angle in [-pi, pi]; (0, 0) gives 0.
Fixed fixedAtan2(Fixed y, Fixed x);
Fixed fixedPowInt(Fixed x, int32_t n);
// x^y with the fractional part of y applied linearly.
Fixed fixedPow(Fixed x, Fixed y);

// Two's-complement truncation to 32 bits, and the 16.16 product that wraps
// like the device's multiply.
inline int32_t wrap32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))); }
inline Fixed mulShift16(int64_t a, int64_t b) { return wrap32((a * b) >> 16); }

// Truncating divisions; a zero divisor gives the largest value of the type.
int64_t fixedDiv64(int64_t a, int64_t b);
int32_t safeDivide(int32_t a, int32_t b);
uint32_t safeDivideUnsigned(uint32_t a, uint32_t b);
