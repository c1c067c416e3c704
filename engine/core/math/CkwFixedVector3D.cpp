// 16.16 vector operations of the renderer.
#include "engine/core/math/CkwFixedVector3D.h"

#include <bit>

#include "engine/core/math/FixedMath.h"
#include "engine/core/math/FloatBits.h"

namespace {

int32_t wrapAdd(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }
int32_t wrapSub(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)); }

uint32_t magnitudeOr(const CkwFixedVector3D& v)
{
    auto mag = [](int32_t c) { return c < 0 ? 0u - static_cast<uint32_t>(c) : static_cast<uint32_t>(c); };
    return mag(v.x) | mag(v.y) | mag(v.z);
}

} // namespace

int32_t absFixed(int32_t a)
{
    if (a == INT32_MIN)
        return INT32_MAX;
    return a < 0 ? -a : a;
}

void CkwFixedVector3D::fromFloat(CkwFixedVector3D& out, const CkwVector3D& v)
{
    out = {roundToFixed(v.x), roundToFixed(v.y), roundToFixed(v.z)};
}

void CkwFixedVector3D::add(CkwFixedVector3D& a, const CkwFixedVector3D& b)
{
    a = {wrapAdd(a.x, b.x), wrapAdd(a.y, b.y), wrapAdd(a.z, b.z)};
}

void CkwFixedVector3D::sub(const CkwFixedVector3D& a, CkwFixedVector3D& out, const CkwFixedVector3D& b)
{
    out = {wrapSub(a.x, b.x), wrapSub(a.y, b.y), wrapSub(a.z, b.z)};
}

void CkwFixedVector3D::scale(const CkwFixedVector3D& v, CkwFixedVector3D& out, int32_t s)
{
    out = {mulShift16(v.x, s), mulShift16(v.y, s), mulShift16(v.z, s)};
}

void CkwFixedVector3D::scaleInPlace(CkwFixedVector3D& v, int32_t s)
{
    scale(v, v, s);
}

void CkwFixedVector3D::shiftRight(CkwFixedVector3D& v, int32_t n)
{
    if (n >= 32)
        n = 31; // leaves only the sign: 0 or -1
    v = {v.x >> n, v.y >> n, v.z >> n};
}

int32_t CkwFixedVector3D::lengthSquared(const CkwFixedVector3D& v)
{
    const int64_t x = v.x, y = v.y, z = v.z;
    return wrap32((x * x + y * y + z * z) >> 16);
}

void CkwFixedVector3D::cross(const CkwFixedVector3D& a, CkwFixedVector3D& out, const CkwFixedVector3D& b)
{
    const int64_t ax = a.x, ay = a.y, az = a.z, bx = b.x, by = b.y, bz = b.z;
    out = {wrap32((ay * bz - az * by) >> 16), wrap32((az * bx - ax * bz) >> 16),
           wrap32((ax * by - ay * bx) >> 16)};
}

void CkwFixedVector3D::prescale(CkwFixedVector3D& v)
{
    const uint32_t m = magnitudeOr(v);
    if (m == 0)
        return;
    // The shifts of a bit-by-bit walk into 0x10000..0x20000, from the top bit.
    const int32_t top = 31 - std::countl_zero(m);
    if (top >= 17) {
        int32_t right = top - 17;
        if ((m >> right) > 0x20000u)
            ++right;
        v = {v.x >> right, v.y >> right, v.z >> right};
    } else if (top < 16) {
        const int32_t left = 16 - top;
        v = {static_cast<int32_t>(static_cast<uint32_t>(v.x) << left),
             static_cast<int32_t>(static_cast<uint32_t>(v.y) << left),
             static_cast<int32_t>(static_cast<uint32_t>(v.z) << left)};
    }
}

int32_t CkwFixedVector3D::reduce(CkwFixedVector3D& v)
{
    int32_t shift = 0;
    while (magnitudeOr(v) > 0x400000u) {
        v = {v.x >> 2, v.y >> 2, v.z >> 2};
        shift += 2;
    }
    return shift;
}

int32_t CkwFixedVector3D::normalize(CkwFixedVector3D& v)
{
    prescale(v);
    const uint32_t len2 = static_cast<uint32_t>(lengthSquared(v));
    const int32_t r = fixedInvSqrt(len2);
    v = {mulShift16(v.x, r), mulShift16(v.y, r), mulShift16(v.z, r)};
    return r;
}
