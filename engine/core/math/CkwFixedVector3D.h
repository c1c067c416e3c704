// 16.16 fixed-point 3-vectors of the renderer's transform and lighting.
#pragma once

#include <cstdint>

#include "engine/core/math/CkwVector3D.h"

struct CkwFixedVector3D {
    int32_t x;
    int32_t y;
    int32_t z;

    // Each component (int)(c * 65536 + 0.5), saturated to the int32 range.
    static void fromFloat(CkwFixedVector3D& out, const CkwVector3D& v);
    void set(int32_t nx, int32_t ny, int32_t nz)
    {
        x = nx;
        y = ny;
        z = nz;
    }
    static void clear(CkwFixedVector3D& v) { v = {0, 0, 0}; }
    static void copy(CkwFixedVector3D& dst, const CkwFixedVector3D& src) { dst = src; }
    // a += b, wrapping.
    static void add(CkwFixedVector3D& a, const CkwFixedVector3D& b);
    // out = a - b, wrapping.
    static void sub(const CkwFixedVector3D& a, CkwFixedVector3D& out, const CkwFixedVector3D& b);
    static void scale(const CkwFixedVector3D& v, CkwFixedVector3D& out, int32_t s);
    static void scaleInPlace(CkwFixedVector3D& v, int32_t s);
    static void shiftRight(CkwFixedVector3D& v, int32_t n);
    static int32_t lengthSquared(const CkwFixedVector3D& v);
    static void cross(const CkwFixedVector3D& a, CkwFixedVector3D& out, const CkwFixedVector3D& b);
    // Brings the OR of the component magnitudes into 0x10000..0x20000 by
    // power-of-two shifts; a zero vector is left alone.
    static void prescale(CkwFixedVector3D& v);
    // Shifts right in steps of 2 until the OR of the magnitudes is at most
    // 0x400000; returns the total shift.
    static int32_t reduce(CkwFixedVector3D& v);
    // Returns the reciprocal length used (of the prescaled vector).
    static int32_t normalize(CkwFixedVector3D& v);
};

// |a|; |INT32_MIN| saturates to INT32_MAX.
int32_t absFixed(int32_t a);
