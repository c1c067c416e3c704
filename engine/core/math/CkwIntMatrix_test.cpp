// The integer matrix form: fromMatrix plus the integer transforms stay within
// rounding of the double-precision transform for random matrices and input
// ranges (an overflow would be off by about 2^32), and the edge cases.
#include "engine/core/math/CkwIntMatrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

// Float reference in output units: (M3x3 p) / 65536 + T, scaled by 2^secondShift.
double expectedRow(const CkwMatrix& m, int row, const int32_t* p, int32_t secondShift)
{
    const double sum = static_cast<double>(m.m[row]) * p[0] + static_cast<double>(m.m[4 + row]) * p[1]
        + static_cast<double>(m.m[8 + row]) * p[2];
    return (sum / 65536.0 + m.m[12 + row]) * std::ldexp(1.0, secondShift);
}

// One point through the integer transform of 8- or 16-bit components; returns w.
int32_t transformPoint(const CkwIntMatrix& im, const int32_t p[3], bool bytes, int32_t out[3])
{
    int32_t w;
    if (bytes) {
        const int8_t in[3] = {static_cast<int8_t>(p[0]), static_cast<int8_t>(p[1]), static_cast<int8_t>(p[2])};
        im.transformPointsS8(in, out, &w, 1);
    } else {
        const int16_t in[3] = {static_cast<int16_t>(p[0]), static_cast<int16_t>(p[1]), static_cast<int16_t>(p[2])};
        im.transformPointsS16(in, out, &w, 1);
    }
    return w;
}

float conversionBound(const CkwMatrix& m, float range);

// Every magnitude: the largest output the range allows lands in 2^29..2^30,
// and each output, w too, within two units of the double-precision one.
TEST(CkwIntMatrix, IntegerTransformTracksTheDoublePrecisionTransform)
{
    std::mt19937 rng(31337);
    std::uniform_real_distribution<float> element(-64.0f, 64.0f);
    std::uniform_real_distribution<float> magnitude(-9.0f, 9.0f);
    for (int round = 0; round < 6000; ++round) {
        CkwMatrix m;
        const float unit = std::pow(10.0f, magnitude(rng));
        for (float& e : m.m)
            e = element(rng) * unit;
        const bool affine = round % 2 == 0;
        if (affine) {
            m.m[3] = m.m[7] = m.m[11] = 0.0f;
            m.m[15] = 1.0f;
        }
        m.classify();
        const bool bytes = round % 3 == 0;
        const int32_t range = bytes ? 127 : 32767;
        CkwIntMatrix im;
        ASSERT_EQ(CkwIntMatrix::fromMatrix(im, m, static_cast<float>(range), false, false), 1);
        EXPECT_EQ(im.constantW, affine ? 1 : 0);
        ASSERT_GE(std::ldexp(conversionBound(m, float(range)), im.secondShift), 536870912.0) << "round " << round;

        std::uniform_int_distribution<int32_t> component(-range, range);
        for (int v = 0; v < 8; ++v) {
            int32_t p[3] = {component(rng), component(rng), component(rng)};
            if (v == 0)
                p[0] = p[1] = p[2] = range; // the corner the range promises
            int32_t out[3];
            const int32_t w = transformPoint(im, p, bytes, out);
            // Outputs are rounded, and elements keep 30 bits.
            const double slack = 2.0;
            for (int r = 0; r < 3; ++r) {
                ASSERT_NEAR(out[r], expectedRow(m, r, p, im.secondShift), slack)
                    << "round " << round << " row " << r;
            }
            if (!affine) {
                ASSERT_NEAR(w, expectedRow(m, 3, p, im.secondShift), slack) << "round " << round;
            }
        }
    }
}

// The largest output any row, w too, reaches for inputs within the range.
float conversionBound(const CkwMatrix& m, float range)
{
    float largest = 0.0f;
    float bound[4];
    float boundOut[4];
    for (int r = 0; r < 4; ++r) {
        bound[r] = (std::fabs(m.m[r]) + std::fabs(m.m[4 + r]) + std::fabs(m.m[8 + r])) * range;
        boundOut[r] = bound[r] * 1.5258789e-5f;
    }
    for (int r = 0; r < 4; ++r)
        largest = std::fmax(largest, boundOut[r] + std::fabs(m.m[12 + r]));
    return largest;
}

TEST(CkwIntMatrix, PointDirectionAndTwoComponentFormsAgree)
{
    CkwMatrix m;
    m.m[0] = 2.0f, m.m[5] = 3.0f, m.m[10] = 4.0f;
    m.m[12] = 100.0f, m.m[13] = -50.0f, m.m[14] = 7.0f;
    m.classify();
    CkwIntMatrix im;
    ASSERT_EQ(CkwIntMatrix::fromMatrix(im, m, 100.0f, false, false), 1);
    const double unit = std::ldexp(1.0, im.secondShift);

    const int8_t p8[3] = {10, -20, 30};
    const int16_t p16[3] = {10, -20, 30};
    int32_t a[3], b[3], c[3], d[3];
    im.transformPointS8(p8, a);
    im.transformPointS16(p16, b);
    im.transformDirS8(p8, c);
    im.transformDirS16(p16, d);
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(a[r], b[r]);
        EXPECT_EQ(c[r], d[r]);
    }
    EXPECT_NEAR(a[0] / unit, 100.0 + 20.0 / 65536.0, 1e-3);
    EXPECT_NEAR(c[1] / unit, -60.0 / 65536.0, 1e-3);

    int32_t xy[3];
    int32_t w;
    im.transformPoint2S16(p16, xy, &w);
    EXPECT_EQ(xy[0], b[0]);
    EXPECT_NEAR(xy[2] / unit, 7.0, 1e-3); // a point of the plane z = 0
    EXPECT_EQ(w, im.m[15]);
    int32_t xy8[3];
    int32_t w8;
    im.transformPoint2S8(p8, xy8, &w8);
    EXPECT_EQ(xy8[1], xy[1]);
}

// Runs of vertices, in the processor's wide form and in the portable one,
// against the sums written out in 64 bits, for any elements, shifts and
// components.
TEST(CkwIntMatrix, RunsMatchTheirSumsBitForBit)
{
    std::mt19937 rng(56);
#if defined(__x86_64__) && defined(__GNUC__)
    const bool avx2 = __builtin_cpu_supports("avx2");
#else
    const bool avx2 = false;
#endif
    for (int round = 0; round < 800; ++round) {
        const bool wide = round < 400;
        CkwIntMatrix::setWideRuns(wide);
        CkwIntMatrix im{};
        for (int32_t& e : im.m)
            e = round % 4 == 0 ? (rng() % 2 ? INT32_MIN : INT32_MAX) : static_cast<int32_t>(rng());
        im.productShift = round % 47;
        im.constantW = round % 3 == 0 ? 1 : 0;
        int16_t p[27];
        for (int16_t& c : p)
            c = rng() % 5 == 0 ? (rng() % 2 ? INT16_MIN : INT16_MAX) : static_cast<int16_t>(rng());
        int32_t out[27], w[9];
        // The wide form runs where the processor has it, and only then.
        const uint64_t wideBefore = CkwIntMatrix::wideRuns();
        im.transformPointsS16(p, out, w, 9);
        EXPECT_EQ(CkwIntMatrix::wideRuns() - wideBefore, wide && avx2 ? 1u : 0u) << round;
        for (int32_t i = 0; i < 36; ++i) {
            const int32_t v = i / 4, r = i % 4;
            const int64_t sum = im.m[r] * int64_t{p[3 * v]} + im.m[4 + r] * int64_t{p[3 * v + 1]}
                + im.m[8 + r] * int64_t{p[3 * v + 2]} + (im.productShift > 0 ? int64_t{1} << (im.productShift - 1) : 0);
            const auto expected = static_cast<int32_t>(static_cast<uint32_t>(im.m[12 + r]) + (sum >> im.productShift));
            EXPECT_EQ(r < 3 ? out[3 * v + r] : w[v], r == 3 && im.constantW ? im.m[15] : expected)
                << (wide ? "wide " : "portable ") << round << " " << i;
        }
    }
    CkwIntMatrix::setWideRuns(true);
}

TEST(CkwIntMatrix, AllZeroMatrixGivesAllZeroIntegers)
{
    CkwMatrix zero;
    for (float& e : zero.m)
        e = 0.0f;
    zero.classWord = kMatrixGeneral;
    CkwIntMatrix im;
    EXPECT_EQ(CkwIntMatrix::fromMatrix(im, zero, 32767.0f, false, false), 1);
    for (int32_t e : im.m)
        EXPECT_EQ(e, 0);
    const int16_t p[3] = {1, 2, 3};
    int32_t out[3];
    int32_t w;
    im.transformPointsS16(p, out, &w, 1);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(w, 0);
}

TEST(CkwIntMatrix, InputOutsideTheClipVolumeIsReported)
{
    CkwMatrix m = CkwMatrix::translation(1000.0f, 0.0f, 0.0f);
    CkwIntMatrix im;
    EXPECT_EQ(CkwIntMatrix::fromMatrix(im, m, 10.0f, true, true), 0);
    EXPECT_EQ(CkwIntMatrix::fromMatrix(im, m, 10.0f, true, false), 0);
    EXPECT_NE(im.m[12], 0); // converted all the same
    EXPECT_EQ(CkwIntMatrix::fromMatrix(im, m, 10.0f, false, false), 1);
    CkwMatrix inside = CkwMatrix::translation(0.5f, 0.0f, 0.0f);
    EXPECT_EQ(CkwIntMatrix::fromMatrix(im, inside, 10.0f, true, true), 1);
}

} // namespace
