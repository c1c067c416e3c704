// Conversion of a float matrix to integer form and the integer vertex
// transforms. The conversion picks power-of-two scales so that the 3x3
// products and the translated results fit 32 bits for inputs up to the range.
#include "engine/core/math/CkwIntMatrix.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "engine/core/math/FloatBits.h"

namespace {

constexpr float kOneOver65536 = 1.5258789e-5f;
constexpr float kTwoTo30 = 1073741824.0f;
constexpr float kTwoTo25 = 33554432.0f;

// Exponent difference of two positive floats a > b > 0, taken on their bits.
int32_t exponentGap(float a, float b)
{
    return static_cast<int32_t>(((floatBits(a) - floatBits(b)) >> 23) & 255);
}

// 2^g as a float, built in steps of 2^30 for large g.
float powerOfTwo(int32_t g)
{
    float f = 1.0f;
    while (g > 30) {
        f *= kTwoTo30;
        g -= 30;
    }
    return f * static_cast<float>(int32_t{1} << g);
}

// Sums wrap in 32 bits like the device's adds; signed overflow is not allowed
// to reach the compiler.
int32_t dot3(const int32_t* m, int32_t row, int32_t x, int32_t y, int32_t z)
{
    const uint32_t sum = static_cast<uint32_t>(m[row]) * static_cast<uint32_t>(x)
        + static_cast<uint32_t>(m[4 + row]) * static_cast<uint32_t>(y)
        + static_cast<uint32_t>(m[8 + row]) * static_cast<uint32_t>(z);
    return static_cast<int32_t>(sum);
}

int32_t addWrap(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

int32_t clampShift(int32_t s) { return s < 0 ? 0 : (s > 31 ? 31 : s); }

} // namespace

int32_t CkwIntMatrix::fromMatrix(CkwIntMatrix& out, const CkwMatrix& matrix, float range, bool checkInside,
                                 bool failIfOutside)
{
    const float* e = matrix.m;
    out.productShift = 16;
    out.wShift = 0;
    out.secondShift = 0;
    out.constantW = (matrix.classWord & kMatrixBitAffine) != 0 ? 1 : 0;
    int32_t result = 1;

    float bound[4];
    float boundOut[4];
    float t[4];
    for (int r = 0; r < 4; ++r) {
        bound[r] = (std::fabs(e[r]) + std::fabs(e[4 + r]) + std::fabs(e[8 + r])) * range;
        boundOut[r] = bound[r] * kOneOver65536;
        t[r] = e[12 + r];
    }

    if (checkInside) {
        const float wMax = t[3] + boundOut[3];
        for (int r = 0; r < 3; ++r) {
            if (t[r] - boundOut[r] > wMax || t[r] + boundOut[r] < -wMax) {
                result = 0;
                if (failIfOutside)
                    return 0;
            }
        }
    }

    float largest = 0.0f;
    for (int r = 0; r < 3; ++r)
        largest = std::fmax(largest, std::fmax(bound[r], boundOut[r] + std::fabs(t[r])));
    const float largestW = std::fmax(bound[3], t[3] + boundOut[3]);
    int32_t g = 0;
    if (largestW > largest)
        largest = largestW;
    else if (largestW > 0.0f)
        g = exponentGap(largest, largestW);
    out.wShift = g;
    const float wFactor = powerOfTwo(g);

    if (!(largest > 0.0f) || !std::isfinite(largest)) {
        // Nothing to scale by: an all-zero matrix maps everything to 0.
        std::fill(std::begin(out.m), std::end(out.m), 0);
        return result;
    }

    float scale;
    const int32_t exponent = largest < kTwoTo30 ? exponentGap(kTwoTo30, largest) : 0;
    if (exponent >= 1 && exponent <= 29) {
        scale = powerOfTwo(exponent);
        out.secondShift = exponent;
    } else {
        scale = kTwoTo30 / largest;
    }

    float x = 0.0f;
    for (int r = 0; r < 3; ++r)
        x = std::fmax(x, boundOut[r] + std::fabs(t[r]));
    x = std::fmax(x, (t[3] + boundOut[3]) * wFactor) * scale;
    int32_t extra = 0;
    if (x > 0.0f && x < kTwoTo25) {
        extra = exponentGap(kTwoTo25, x);
        if (extra > 16)
            extra = 16;
    }
    out.secondShift += extra;
    out.productShift -= extra;
    const float precision = powerOfTwo(extra);

    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 3; ++r)
            out.m[4 * c + r] = saturateToInt(e[4 * c + r] * scale);
    for (int r = 0; r < 3; ++r) {
        out.m[12 + r] = saturateToInt(e[12 + r] * precision * scale);
        out.m[4 * r + 3] = saturateToInt(e[4 * r + 3] * scale * wFactor);
    }
    out.m[15] = saturateToInt(e[15] * precision * scale * wFactor);
    return result;
}

namespace {

// A direction leaves out the translation.
template <bool Translate, class Component>
void transformOne(const CkwIntMatrix& im, const Component* p, int32_t* out)
{
    for (int r = 0; r < 3; ++r) {
        const int32_t product = dot3(im.m, r, p[0], p[1], p[2]) >> im.productShift;
        out[r] = Translate ? addWrap(im.m[12 + r], product) : product;
    }
}

template <class Component>
void transformRun(const CkwIntMatrix& im, const Component* points, int32_t* outXYZ, int32_t* outW,
                  int32_t count)
{
    const int32_t* m = im.m;
    const int32_t s = im.productShift;
    const int32_t ws = clampShift(im.wShift);
    const int32_t constantW = m[15] >> ws;
    for (int32_t i = 0; i < count; ++i, points += 3, outXYZ += 3) {
        const int32_t x = points[0], y = points[1], z = points[2];
        outXYZ[0] = addWrap(m[12], dot3(m, 0, x, y, z) >> s);
        outXYZ[1] = addWrap(m[13], dot3(m, 1, x, y, z) >> s);
        outXYZ[2] = addWrap(m[14], dot3(m, 2, x, y, z) >> s);
        outW[i] = im.constantW != 0 ? constantW : addWrap(m[15], dot3(m, 3, x, y, z) >> s) >> ws;
    }
}

template <class Component>
void transformTwo(const CkwIntMatrix& im, const Component* p, int32_t* outXY, int32_t* outW)
{
    const int32_t* m = im.m;
    const int32_t s = im.productShift;
    const int32_t ws = clampShift(im.wShift);
    const int32_t x = p[0], y = p[1];
    outXY[0] = addWrap(m[12], dot3(m, 0, x, y, 0) >> s);
    outXY[1] = addWrap(m[13], dot3(m, 1, x, y, 0) >> s);
    *outW = im.constantW != 0 ? m[15] >> ws : addWrap(m[15], dot3(m, 3, x, y, 0) >> s) >> ws;
}

} // namespace

void CkwIntMatrix::transformPointS8(const int8_t* p, int32_t* out) const { transformOne<true>(*this, p, out); }
void CkwIntMatrix::transformPointS16(const int16_t* p, int32_t* out) const { transformOne<true>(*this, p, out); }
void CkwIntMatrix::transformDirS8(const int8_t* p, int32_t* out) const { transformOne<false>(*this, p, out); }
void CkwIntMatrix::transformDirS16(const int16_t* p, int32_t* out) const { transformOne<false>(*this, p, out); }

void CkwIntMatrix::transformPointsS8(const int8_t* points, int32_t* outXYZ, int32_t* outW, int32_t count) const
{
    transformRun(*this, points, outXYZ, outW, count);
}

void CkwIntMatrix::transformPointsS16(const int16_t* points, int32_t* outXYZ, int32_t* outW, int32_t count) const
{
    transformRun(*this, points, outXYZ, outW, count);
}

void CkwIntMatrix::transformPoint2S8(const int8_t* p, int32_t* outXY, int32_t* outW) const
{
    transformTwo(*this, p, outXY, outW);
}

void CkwIntMatrix::transformPoint2S16(const int16_t* p, int32_t* outXY, int32_t* outW) const
{
    transformTwo(*this, p, outXY, outW);
}
