// Float 3-vectors of the scene side (picking, normals, rotation axes, camera)
// and the engine's float helpers that work on them.
#pragma once

#include <cstdint>

struct CkwVector3D {
    float x;
    float y;
    float z;

    static float lengthSquared(const CkwVector3D& v);
    // out = a x b; returns out.
    static CkwVector3D& cross(const CkwVector3D& a, CkwVector3D& out, const CkwVector3D& b);
    static void crossInPlace(CkwVector3D& a, const CkwVector3D& b);
    // A zero vector stays zero; a vector of squared length exactly 1 is kept.
    static void normalize(CkwVector3D& v);
    static void lerp(CkwVector3D& out, const CkwVector3D& a, const CkwVector3D& b, float t);
    // (x, y, z) / w unless w is within 1.5e-5 of 1 or of 0.
    static void fromHomogeneous(CkwVector3D& out, float x, float y, float z, float w);
    static void clear(CkwVector3D& v) { v = {0.0f, 0.0f, 0.0f}; }
};

// Approximate 1/sqrt(a): a bit-level estimate and two Newton steps. No special
// case for 0 or negative a.
float fastInvSqrt(float a);
// |x| by clearing the sign bit of the float at p, as bits.
uint32_t absFloatBits(const float* p);

// Helpers on three consecutive floats (x, y, z).
inline void vector3Set(float* v, float x, float y, float z)
{
    v[0] = x;
    v[1] = y;
    v[2] = z;
}
inline void vector3Copy(float* dst, const float* src)
{
    dst[0] = src[0];
    dst[1] = src[1];
    dst[2] = src[2];
}
// out = a + b; returns out.
inline float* vector3Add(const float* a, float* out, const float* b)
{
    out[0] = a[0] + b[0];
    out[1] = a[1] + b[1];
    out[2] = a[2] + b[2];
    return out;
}
// out = a * s; returns out.
inline float* vector3ScaleTo(const float* a, float* out, float s)
{
    out[0] = a[0] * s;
    out[1] = a[1] * s;
    out[2] = a[2] * s;
    return out;
}
inline void vector3Scale(float* v, float s)
{
    v[0] *= s;
    v[1] *= s;
    v[2] *= s;
}
