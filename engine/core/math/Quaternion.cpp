// Quaternion operations in single precision. Angles of the logarithm, slerp
// and axis-angle go through the engine's 16.16 arctangent, as the device did.
#include "engine/core/math/Quaternion.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

#include "engine/core/math/FixedMath.h"
#include "engine/core/math/FloatBits.h"

namespace {

constexpr float kFloatMinimum = 1.1754944e-38f;
constexpr float kFixedToFloat = 1.5258789e-5f;

// atan2(s, c) through the 16.16 arctangent, back in float radians.
float fixedAngle(float s, float c)
{
    return static_cast<float>(fixedAtan2(roundToFixed(s), roundToFixed(c))) * kFixedToFloat;
}

void setIdentityQuaternion(float* q)
{
    q[0] = q[1] = q[2] = 0.0f;
    q[3] = 1.0f;
}

} // namespace

void quaternionNormalize(float* q)
{
    float s = q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3];
    if (s == 1.0f || s <= kFloatMinimum)
        return;
    if (s == std::numeric_limits<float>::infinity()) {
        // Finite components whose squares overflow, as an animation's
        // weights can make them: scaled down by 2^-100 they normalise.
        for (int i = 0; i < 4; ++i)
            q[i] = std::ldexp(q[i], -100);
        s = q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3];
    }
    quaternionScale(q, fastInvSqrt(s));
}

void quaternionToMatrix(const float* q, CkwMatrix& m)
{
    const float x = q[0], y = q[1], z = q[2], w = q[3];
    if (w == 1.0f || w == -1.0f) {
        m.setIdentity();
        return;
    }
    float s = x * x + y * y + z * z + w * w;
    if (s > 0.0f)
        s = (2.0f - s) * 2.0f; // 2/s to first order for nearly unit q
    const float xs = x * s, ys = y * s, zs = z * s;
    const float wx = w * xs, wy = w * ys, wz = w * zs;
    const float xx = x * xs, xy = x * ys, xz = x * zs;
    const float yy = y * ys, yz = y * zs, zz = z * zs;
    float* e = m.m;
    e[0] = 1.0f - (zz + yy);
    e[1] = xy + wz;
    e[2] = xz - wy;
    e[3] = 0.0f;
    e[4] = xy - wz;
    e[5] = 1.0f - (zz + xx);
    e[6] = yz + wx;
    e[7] = 0.0f;
    e[8] = xz + wy;
    e[9] = yz - wx;
    e[10] = 1.0f - (yy + xx);
    e[11] = 0.0f;
    e[12] = e[13] = e[14] = 0.0f;
    e[15] = 1.0f;
    m.classWord = kMatrixLinear;
}

void quaternionFromMatrix(const CkwMatrix& m, float* q)
{
    auto r = [&m](int row, int column) { return m.m[4 * column + row]; };
    const float t = r(0, 0) + r(1, 1) + r(2, 2) + 1.0f;
    float out[4];
    if (t > kMatrixEpsilon) {
        const float s = fastInvSqrt(t) * 0.5f;
        out[3] = 0.25f / s;
        out[0] = (r(2, 1) - r(1, 2)) * s;
        out[1] = (r(0, 2) - r(2, 0)) * s;
        out[2] = (r(1, 0) - r(0, 1)) * s;
    } else if (r(0, 0) > r(1, 1) && r(0, 0) > r(2, 2)) {
        const float s = 2.0f * std::sqrt(r(0, 0) + 1.0f - r(1, 1) - r(2, 2));
        out[0] = s / 4.0f;
        out[1] = (r(0, 1) + r(1, 0)) / s;
        out[2] = (r(0, 2) + r(2, 0)) / s;
        out[3] = (r(2, 1) - r(1, 2)) / s;
    } else if (r(1, 1) > r(2, 2)) {
        const float s = 2.0f * std::sqrt(r(1, 1) + 1.0f - r(0, 0) - r(2, 2));
        out[0] = (r(0, 1) + r(1, 0)) / s;
        out[1] = s / 4.0f;
        out[2] = (r(1, 2) + r(2, 1)) / s;
        out[3] = (r(0, 2) - r(2, 0)) / s;
    } else {
        const float s = 2.0f * std::sqrt(r(2, 2) + 1.0f - r(0, 0) - r(1, 1));
        out[0] = (r(0, 2) + r(2, 0)) / s;
        out[1] = (r(1, 2) + r(2, 1)) / s;
        out[2] = s / 4.0f;
        out[3] = (r(1, 0) - r(0, 1)) / s;
    }
    // A degenerate matrix (zero or non-finite divisor) has no rotation to give.
    for (float v : out) {
        if (!std::isfinite(v)) {
            setIdentityQuaternion(q);
            return;
        }
    }
    std::copy(std::begin(out), std::end(out), q);
}

void quaternionFromAxisAngle(float* out, float angle, const float* axis)
{
    CkwVector3D a = {axis[0], axis[1], axis[2]};
    CkwVector3D::normalize(a);
    const float h = angle * 0.5f;
    const float s = std::sin(h);
    out[0] = a.x * s;
    out[1] = a.y * s;
    out[2] = a.z * s;
    out[3] = std::cos(h);
}

void quaternionToAxisAngle(const float* q, float* axis, float* angle)
{
    const float len = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2]);
    *angle = 2.0f * fixedAngle(len, q[3]);
    if (len <= kMatrixEpsilon) {
        vector3Set(axis, 0.0f, 0.0f, 1.0f);
        return;
    }
    vector3Set(axis, q[0] / len, q[1] / len, q[2] / len);
}

namespace {

// out = a * b (Hamilton product, b applied first).
void hamilton(const float* a, const float* b, float* out)
{
    const float ax = a[0], ay = a[1], az = a[2], aw = a[3];
    const float bx = b[0], by = b[1], bz = b[2], bw = b[3];
    out[0] = aw * bx + ax * bw + ay * bz - az * by;
    out[1] = aw * by - ax * bz + ay * bw + az * bx;
    out[2] = aw * bz + ax * by - ay * bx + az * bw;
    out[3] = aw * bw - ax * bx - ay * by - az * bz;
}

} // namespace

void quaternionMultiply(float* a, const float* b)
{
    float r[4];
    hamilton(a, b, r);
    std::copy(std::begin(r), std::end(r), a);
}

void quaternionPreMultiply(float* a, const float* b)
{
    float r[4];
    hamilton(b, a, r);
    std::copy(std::begin(r), std::end(r), a);
}

void quaternionConjugate(const float* q, float* out)
{
    out[0] = -q[0];
    out[1] = -q[1];
    out[2] = -q[2];
    out[3] = q[3];
}

void quaternionScale(float* q, float s)
{
    for (int i = 0; i < 4; ++i)
        q[i] *= s;
}

void quaternionCopy(float* dst, const float* src)
{
    if (dst != src)
        std::copy(src, src + 4, dst);
}

bool quaternionEquals(const float* a, const float* b)
{
    return a[0] == b[0] && a[1] == b[1] && a[2] == b[2] && a[3] == b[3];
}

void quaternionSlerp(float* out, const float* a, const float* b, float t)
{
    if (t == 0.0f) {
        quaternionCopy(out, a);
        return;
    }
    if (t == 1.0f) {
        quaternionCopy(out, b);
        return;
    }
    const float c = a[3] * b[3] + a[2] * b[2] + a[1] * b[1] + a[0] * b[0];
    float k0 = 1.0f - t;
    float k1 = t;
    if (c < 0.9999f) {
        const float s = std::sqrt(1.0f - c * c);
        if (std::fabs(s) > 3e-5f) {
            const float theta = fixedAngle(s, c);
            k0 = std::sin((1.0f - t) * theta) / s;
            k1 = std::sin(t * theta) / s;
        }
    }
    float r[4];
    for (int i = 0; i < 4; ++i)
        r[i] = k0 * a[i] + k1 * b[i];
    // One Newton step back towards unit length.
    const float f = (3.0f - (r[0] * r[0] + r[1] * r[1] + r[2] * r[2] + r[3] * r[3])) * 0.5f;
    for (int i = 0; i < 4; ++i)
        out[i] = r[i] * f;
}

void quaternionSquad(float* out, const float* q0, const float* a0, const float* a1, const float* q1,
                     float t)
{
    float outer[4];
    float inner[4];
    quaternionSlerp(outer, q0, q1, t);
    quaternionSlerp(inner, a0, a1, t);
    quaternionSlerp(out, outer, inner, 2.0f * t * (1.0f - t));
}

void quaternionLog(float* q)
{
    const float len = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2]);
    if (len > kMatrixEpsilon) {
        const float k = fixedAngle(len, q[3]) / len;
        vector3Scale(q, k);
    }
    q[3] = 0.0f;
}

void quaternionExp(float* v)
{
    const float len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (len > kMatrixEpsilon)
        vector3Scale(v, std::sin(len) / len);
    v[3] = std::cos(len);
}

void quaternionRelativeLog(float* out, const float* a, const float* b)
{
    float r[4];
    quaternionConjugate(a, r);
    quaternionMultiply(r, b);
    quaternionNormalize(r);
    quaternionLog(r);
    quaternionCopy(out, r);
}
