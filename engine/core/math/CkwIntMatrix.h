// The integer form of a CkwMatrix: the renderer converts a model-view-projection
// matrix once per submesh so the per-vertex transform of 8- and 16-bit vertex
// data needs no floating point, and keeps 30 bits of every output.
#pragma once

#include <cstdint>

#include "engine/core/math/CkwMatrix.h"

class CkwIntMatrix {
public:
    // Column-major. The 3x3 part and the bottom row are in units of
    // 2^-productShift of an output unit, the translation in output units.
    int32_t m[16];
    int32_t productShift;   // the 64-bit sums of 3x3 products are shifted right by it, rounding
    int32_t secondShift;    // outputs are the transformed values x 2^secondShift
    uint8_t constantW;      // source affine: w = m15 for every vertex

    // Converts for inputs whose components are at most range in magnitude.
    // With checkInside, returns 0 when all input lies outside the clip volume
    // on one axis (and stops there with failIfOutside); else returns 1.
    // maxExponent caps secondShift, so that matrices whose outputs meet (the
    // palette of a skin) can share one scale.
    static int32_t fromMatrix(CkwIntMatrix& out, const CkwMatrix& matrix, float range,
                              bool checkInside, bool failIfOutside, int32_t maxExponent = INT32_MAX);
    // The secondShift fromMatrix gives the matrix uncapped, or INT32_MAX when
    // it has nothing to scale by.
    static int32_t outputExponent(const CkwMatrix& matrix, float range);

    void transformPointS8(const int8_t* p, int32_t* out) const;
    void transformPointS16(const int16_t* p, int32_t* out) const;
    void transformDirS8(const int8_t* p, int32_t* out) const;
    void transformDirS16(const int16_t* p, int32_t* out) const;
    // count vertices of three components; outXYZ gets three words a vertex.
    void transformPointsS8(const int8_t* points, int32_t* outXYZ, int32_t* outW, int32_t count) const;
    void transformPointsS16(const int16_t* points, int32_t* outXYZ, int32_t* outW, int32_t count) const;
    // Whether runs may take the processor's wide form, as they do wherever
    // it has one; returns the setting before. Tests clear it so that the
    // portable form runs too.
    static bool setWideRuns(bool allowed);
    // Runs the wide form has taken so far, so a row can tell which form ran.
    static uint64_t wideRuns();
    // A two-component vertex, a point of the z = 0 plane, into x, y, z and w.
    void transformPoint2S8(const int8_t* p, int32_t* outXYZ, int32_t* outW) const;
    void transformPoint2S16(const int16_t* p, int32_t* outXYZ, int32_t* outW) const;
};
