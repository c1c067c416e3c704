// Float 3-vector operations and the bit-level reciprocal square root.
#include "engine/core/math/CkwVector3D.h"

#include <bit>
#include <cmath>

#include "engine/core/math/CkwMatrix.h"

float fastInvSqrt(float a)
{
    // The shift is arithmetic on the signed bits, the subtraction wraps: a sign
    // bit (-0.0, a negative NaN) must not overflow.
    const int32_t i = std::bit_cast<int32_t>(a);
    float y = std::bit_cast<float>(0x5F374800u - static_cast<uint32_t>(i >> 1));
    y = ((3.0f - (y * y) * a) * y) * 0.5f;
    y = ((3.0f - (y * y) * a) * y) * 0.5f;
    return y;
}

uint32_t absFloatBits(const float* p)
{
    return std::bit_cast<uint32_t>(*p) & 0x7FFFFFFFu;
}

float CkwVector3D::lengthSquared(const CkwVector3D& v)
{
    return v.z * v.z + v.y * v.y + v.x * v.x;
}

CkwVector3D& CkwVector3D::cross(const CkwVector3D& a, CkwVector3D& out, const CkwVector3D& b)
{
    const CkwVector3D r = {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    out = r;
    return out;
}

void CkwVector3D::crossInPlace(CkwVector3D& a, const CkwVector3D& b)
{
    cross(a, a, b);
}

void CkwVector3D::normalize(CkwVector3D& v)
{
    const float l = lengthSquared(v);
    if (l == 0.0f) {
        v = {0.0f, 0.0f, 0.0f};
        return;
    }
    if (l == 1.0f)
        return;
    const float k = fastInvSqrt(l);
    v = {v.x * k, v.y * k, v.z * k};
}

void CkwVector3D::lerp(CkwVector3D& out, const CkwVector3D& a, const CkwVector3D& b, float t)
{
    out = {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t};
}

void CkwVector3D::fromHomogeneous(CkwVector3D& out, float x, float y, float z, float w)
{
    if (std::fabs(w - 1.0f) <= kMatrixEpsilon || std::fabs(w) <= kMatrixEpsilon) {
        out = {x, y, z};
        return;
    }
    out = {x / w, y / w, z / w};
}
