// The fixed-point maths library's pieces that the 2D library uses: a 16.16
// square root (the tile layer normalises directions with it) and the 2x2
// matrix record the drawing context hands out from its matrix query.
#pragma once

#include <cstdint>

// Square root of a 16.16 value in 16.16; a negative argument gives 0.
int32_t fixSqrt(int32_t x);

struct Mat2 {
    // Clears the flag and both counters; the four values are left as they
    // are, since every owner writes them before reading.
    Mat2() : dirty(0), operations(0), orthonormaliseLimit(0) {}

    int32_t m[4];
    uint8_t dirty;
    uint16_t operations;
    uint16_t orthonormaliseLimit;
};
