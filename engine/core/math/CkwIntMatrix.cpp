// Conversion of a float matrix to integer form and the integer vertex
// transforms. One power-of-two scale takes the largest output the input range
// allows to just below 2^30, so x, y, z and w keep every bit 32 bits hold; the
// 3x3 elements keep 30 bits of their own, their products summed in 64 bits.
// Runs of vertices go four rows at once where the processor has AVX2.
#include "engine/core/math/CkwIntMatrix.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include "engine/core/math/FloatBits.h"

namespace {

constexpr double kOneOver65536 = 1.0 / 65536.0;
// Sums of three products of 2^30 by 2^15 stay far inside 64 bits; tiny
// elements need no more than this.
constexpr int32_t kMaxProductShift = 46;

int32_t roundInt(double v) { return saturateToInt(std::nearbyint(v)); }

// Cleared only by tests, so that the portable form runs on any machine.
bool g_wideRuns = true;
uint64_t g_wideRunCount = 0;

int32_t addWrap(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

// Per row: the largest the 3x3 part adds for inputs within the range, in
// output units, and the translation; returns the largest 3x3 element.
double rowBounds(const float* e, float range, double* bound, double* t)
{
    double element = 0.0;
    for (int r = 0; r < 4; ++r) {
        const double a = std::fabs(e[r]), b = std::fabs(e[4 + r]), c = std::fabs(e[8 + r]);
        bound[r] = (a + b + c) * range * kOneOver65536;
        t[r] = e[12 + r];
        element = std::max({element, a, b, c});
    }
    return element;
}

// The largest output lands in [2^29, 2^30): room for rounding, none wasted.
int32_t exponentFor(const double* bound, const double* t)
{
    double largest = 0.0;
    for (int r = 0; r < 4; ++r)
        largest = std::max(largest, bound[r] + std::fabs(t[r]));
    return largest > 0.0 && std::isfinite(largest) ? 29 - std::ilogb(largest) : INT32_MAX;
}

} // namespace

int32_t CkwIntMatrix::outputExponent(const CkwMatrix& matrix, float range)
{
    double bound[4], t[4];
    rowBounds(matrix.m, range, bound, t);
    return exponentFor(bound, t);
}

int32_t CkwIntMatrix::fromMatrix(CkwIntMatrix& out, const CkwMatrix& matrix, float range, bool checkInside,
                                 bool failIfOutside, int32_t maxExponent)
{
    const float* e = matrix.m;
    out.productShift = 16;
    out.secondShift = 0;
    out.constantW = (matrix.classWord & kMatrixBitAffine) != 0 ? 1 : 0;
    int32_t result = 1;

    double bound[4], t[4];
    const double element = rowBounds(e, range, bound, t);
    if (checkInside) {
        const double wMax = t[3] + bound[3];
        for (int r = 0; r < 3; ++r) {
            if (t[r] - bound[r] > wMax || t[r] + bound[r] < -wMax) {
                result = 0;
                if (failIfOutside)
                    return 0;
            }
        }
    }

    const int32_t natural = exponentFor(bound, t);
    if (natural == INT32_MAX) {
        // Nothing to scale by: an all-zero matrix maps everything to 0, at
        // whatever scale the caller shares.
        std::fill(std::begin(out.m), std::end(out.m), 0);
        out.secondShift = maxExponent == INT32_MAX ? 0 : maxExponent;
        return result;
    }
    const int32_t exponent = std::min(natural, maxExponent);
    out.secondShift = exponent;
    // The largest element likewise, in units of 2^-productShift of an output
    // unit; elements are x 65536 of the input.
    const int32_t shift = element > 0.0 ? 45 - std::ilogb(element) - exponent : kMaxProductShift;
    out.productShift = std::clamp(shift, 0, kMaxProductShift);

    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 4; ++r)
            out.m[4 * c + r] = roundInt(std::ldexp(double(e[4 * c + r]), exponent - 16 + out.productShift));
    for (int r = 0; r < 4; ++r)
        out.m[12 + r] = roundInt(std::ldexp(t[r], exponent));
    return result;
}

namespace {

// The row's 3x3 products summed in 64 bits, rounded to output units.
int32_t product(const CkwIntMatrix& im, int32_t r, int32_t x, int32_t y, int32_t z, int64_t half)
{
    const int64_t sum = int64_t{im.m[r]} * x + int64_t{im.m[4 + r]} * y + int64_t{im.m[8 + r]} * z + half;
    return static_cast<int32_t>(sum >> im.productShift);
}

int32_t translated(const CkwIntMatrix& im, int32_t r, int32_t x, int32_t y, int32_t z, int64_t half)
{
    return addWrap(im.m[12 + r], product(im, r, x, y, z, half));
}

int64_t halfOf(const CkwIntMatrix& im) { return im.productShift > 0 ? int64_t{1} << (im.productShift - 1) : 0; }

// A direction leaves out the translation.
template <bool Translate, class Component>
void transformOne(const CkwIntMatrix& im, const Component* p, int32_t* out)
{
    const int64_t half = halfOf(im);
    for (int r = 0; r < 3; ++r)
        out[r] = Translate ? translated(im, r, p[0], p[1], p[2], half) : product(im, r, p[0], p[1], p[2], half);
}

#if defined(__x86_64__) && defined(__GNUC__)
// transformRun's sums, a vertex's four rows side by side in 64-bit lanes, so
// the same outputs.
template <class Component>
__attribute__((target("avx2"))) void transformRunWide(const CkwIntMatrix& im, const Component* points, int32_t* outXYZ,
                                                      int32_t* outW, int32_t count)
{
    const __m256i c0 = _mm256_setr_epi64x(im.m[0], im.m[1], im.m[2], im.m[3]);
    const __m256i c1 = _mm256_setr_epi64x(im.m[4], im.m[5], im.m[6], im.m[7]);
    const __m256i c2 = _mm256_setr_epi64x(im.m[8], im.m[9], im.m[10], im.m[11]);
    const __m256i half = _mm256_set1_epi64x(halfOf(im));
    const __m128i shift = _mm_cvtsi32_si128(im.productShift);
    const __m128i translation = _mm_loadu_si128(reinterpret_cast<const __m128i*>(im.m + 12));
    const __m256i lowWords = _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6);
    const __m256i zero = _mm256_setzero_si256();
    for (int32_t i = 0; i < count; ++i, points += 3, outXYZ += 3) {
        // Each product takes the low 32 bits of its lanes as signed.
        const __m256i xy = _mm256_add_epi64(_mm256_mul_epi32(c0, _mm256_set1_epi32(points[0])),
                                            _mm256_mul_epi32(c1, _mm256_set1_epi32(points[1])));
        const __m256i z = _mm256_mul_epi32(c2, _mm256_set1_epi32(points[2]));
        const __m256i sum = _mm256_add_epi64(xy, _mm256_add_epi64(z, half));
        // AVX2 shifts 64-bit lanes only logically: a negative sum goes
        // through its complement, which floors the same way.
        const __m256i sign = _mm256_cmpgt_epi64(zero, sum);
        const __m256i shifted = _mm256_xor_si256(_mm256_srl_epi64(_mm256_xor_si256(sum, sign), shift), sign);
        const __m128i out =
            _mm_add_epi32(_mm256_castsi256_si128(_mm256_permutevar8x32_epi32(shifted, lowWords)), translation);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(outXYZ), out);
        outXYZ[2] = _mm_extract_epi32(out, 2);
        outW[i] = im.constantW != 0 ? im.m[15] : _mm_extract_epi32(out, 3);
    }
}

// Whether the run was taken by the AVX2 form; the processor decides once.
template <class Component>
bool transformWide(const CkwIntMatrix& im, const Component* points, int32_t* outXYZ, int32_t* outW, int32_t count)
{
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (!avx2)
        return false;
    transformRunWide(im, points, outXYZ, outW, count);
    return true;
}
#else
template <class Component>
bool transformWide(const CkwIntMatrix&, const Component*, int32_t*, int32_t*, int32_t)
{
    return false;
}
#endif

template <class Component>
void transformRun(const CkwIntMatrix& matrix, const Component* points, int32_t* outXYZ, int32_t* outW, int32_t count)
{
    if (g_wideRuns && transformWide(matrix, points, outXYZ, outW, count)) {
        ++g_wideRunCount;
        return;
    }
    // A copy the outputs cannot alias stays in registers across the loop.
    const CkwIntMatrix im = matrix;
    const int64_t half = halfOf(im);
    const int32_t constantW = im.m[15];
    for (int32_t i = 0; i < count; ++i, points += 3, outXYZ += 3) {
        const int32_t x = points[0], y = points[1], z = points[2];
        outXYZ[0] = translated(im, 0, x, y, z, half);
        outXYZ[1] = translated(im, 1, x, y, z, half);
        outXYZ[2] = translated(im, 2, x, y, z, half);
        outW[i] = im.constantW != 0 ? constantW : translated(im, 3, x, y, z, half);
    }
}

template <class Component>
void transformTwo(const CkwIntMatrix& im, const Component* p, int32_t* outXYZ, int32_t* outW)
{
    const int64_t half = halfOf(im);
    for (int r = 0; r < 3; ++r)
        outXYZ[r] = translated(im, r, p[0], p[1], 0, half);
    *outW = im.constantW != 0 ? im.m[15] : translated(im, 3, p[0], p[1], 0, half);
}

} // namespace

bool CkwIntMatrix::setWideRuns(bool allowed)
{
    const bool before = g_wideRuns;
    g_wideRuns = allowed;
    return before;
}

uint64_t CkwIntMatrix::wideRuns() { return g_wideRunCount; }

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

void CkwIntMatrix::transformPoint2S8(const int8_t* p, int32_t* outXYZ, int32_t* outW) const
{
    transformTwo(*this, p, outXYZ, outW);
}

void CkwIntMatrix::transformPoint2S16(const int16_t* p, int32_t* outXYZ, int32_t* outW) const
{
    transformTwo(*this, p, outXYZ, outW);
}
