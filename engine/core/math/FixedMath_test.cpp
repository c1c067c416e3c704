// The 16.16 library: the values the design fixes, sweeps against double
// precision, and the edges (zero divisors, INT32_MIN, huge exponents).
#include "engine/core/math/FixedMath.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

double toDouble(int32_t f) { return f / 65536.0; }

TEST(FixedMath, ReciprocalTableAndExactValues)
{
    EXPECT_EQ(RECIPROCAL_TABLE[0], 0x7FFFFFFF);
    EXPECT_EQ(RECIPROCAL_TABLE[1], 0x40000000);
    EXPECT_EQ(RECIPROCAL_TABLE[3], 357913941);
    EXPECT_EQ(RECIPROCAL_TABLE[512], 0x200000);
    EXPECT_EQ(fixedReciprocal32(0x10000), 0x10000);
    EXPECT_EQ(fixedReciprocal32(0x20000), 0x8000);
    EXPECT_NEAR(fixedReciprocal32(0x30000), 21845, 1);
}

// Bit-exact results of the integer algorithms, the same at every optimisation
// level. Zero reads 0x7FFFFFFF from the table and still takes the final shift.
TEST(FixedMath, IntegerAlgorithmsGiveExactValues)
{
    struct Reciprocal {
        int32_t x, fractionBits, result;
    };
    const Reciprocal reciprocals[] = {
        {0, 16, 0x1FFFF},         {0, 30, 0x7FFFFFFF},   {0, 32, -4},         {0, 40, -1024},
        {0x30000, 32, 21845},     {1000, 32, 4294966},   {0x7FFFFFFF, 32, 2}, {-12345, 32, -347911},
    };
    for (const Reciprocal& c : reciprocals)
        EXPECT_EQ(fixedReciprocal(c.x, c.fractionBits), c.result) << c.x << " " << c.fractionBits;

    struct InvSqrt {
        uint32_t x;
        Fixed result;
    };
    const InvSqrt invSqrts[] = {
        {3, 9673930}, {0x4000, 0x20000}, {0x10000, 0x10000}, {0x40000, 0x8000}, {0x123456, 15361}, {0x7FFFFFFF, 362},
    };
    for (const InvSqrt& c : invSqrts)
        EXPECT_EQ(fixedInvSqrt(c.x), c.result) << c.x;

    struct SinCos {
        Fixed angle, sin, cos;
    };
    const SinCos sinCos[] = {
        {1, 1, 65534},          {25736, 25076, 60545},  {51471, 46344, 46346},
        {51472, 46345, 46345},  {100000, 65474, 2943},  {-30000, -28964, 58787},
    };
    for (const SinCos& c : sinCos) {
        Fixed s, co;
        fixedSinCos(c.angle, &s, &co);
        EXPECT_EQ(s, c.sin) << c.angle;
        EXPECT_EQ(co, c.cos) << c.angle;
    }
}

TEST(FixedMath, ReciprocalIsOddAndTracksDoublePrecision)
{
    for (int64_t xl = 1; xl < 0x40000000; xl = xl * 3 / 2 + 7) {
        const int32_t x = static_cast<int32_t>(xl);
        for (int32_t f : {16, 30, 32, 40}) {
            EXPECT_EQ(fixedReciprocal(-x, f), -fixedReciprocal(x, f)) << x << " " << f;
        }
        if (x >= 2 && x < 0x7FFF0000) {
            const double expected = 4294967296.0 / x;
            if (expected < 2147483647.0) {
                EXPECT_NEAR(fixedReciprocal32(x), expected, expected * 0.005 + 1.0) << x;
            }
        }
    }
    // |INT32_MIN| is taken unsigned: 1 / -32768.0 is -2 units.
    EXPECT_EQ(fixedReciprocal32(INT32_MIN), -2);
}

TEST(FixedMath, InverseSquareRootAndSquareRoot)
{
    EXPECT_EQ(fixedInvSqrt(0), 0x7FFFFFFF);
    EXPECT_EQ(fixedInvSqrt(1), 0x01000000);
    EXPECT_EQ(fixedInvSqrt(2), 11863283);
    EXPECT_NEAR(fixedInvSqrt(0x10000), 0x10000, 8);
    EXPECT_EQ(fixedSqrt(0), 0);
    // Two Newton steps converge for values below 32768.0, the range in use.
    for (uint64_t xl = 3; xl < 0x80000000u; xl = xl + xl / 5 + 11) {
        const uint32_t x = static_cast<uint32_t>(xl);
        const double expected = 65536.0 / std::sqrt(x / 65536.0);
        EXPECT_NEAR(fixedInvSqrt(x), expected, expected * 0.002 + 2.0) << x;
        const double root = std::sqrt(x / 65536.0) * 65536.0;
        // The product inherits the reciprocal's quantisation of one unit in y.
        EXPECT_NEAR(fixedSqrt(x), root, root * (0.002 + 2.0 / expected) + 2.0) << x;
    }
    // From 32768.0 on the input is already past the normalised range, so the
    // seed falls away from 1/sqrt and two steps no longer close the gap: the
    // algorithm's own results, pinned (exact: 362, 295.6, 256).
    EXPECT_EQ(fixedInvSqrt(0x80000000u), 362);
    EXPECT_EQ(fixedInvSqrt(0xC0000000u), 295);
    EXPECT_EQ(fixedInvSqrt(0xFFFFFFFFu), 222);
}

TEST(FixedMath, SineAndCosineTrackDoublePrecisionOverManyTurns)
{
    Fixed s, c;
    fixedSinCos(0, &s, &c);
    EXPECT_EQ(s, 0);
    EXPECT_EQ(c, 0x10000);
    fixedSinCos(kFixedHalfPi, &s, &c);
    EXPECT_EQ(s, 0x10000);
    EXPECT_EQ(c, 0);
    for (int32_t a = -3000000; a <= 3000000; a += 997) {
        EXPECT_NEAR(fixedSin(a), std::sin(toDouble(a)) * 65536.0, 12.0) << a;
        EXPECT_NEAR(fixedCos(a), std::cos(toDouble(a)) * 65536.0, 12.0) << a;
    }
    // Whole turns are whole multiples of the 16.16 value of 2 pi.
    auto reduced = [](int32_t a) { return std::fmod(static_cast<double>(a), 411774.0) / 65536.0; };
    EXPECT_NEAR(fixedSin(INT32_MIN), std::sin(reduced(INT32_MIN)) * 65536.0, 12.0);
    EXPECT_NEAR(fixedCos(INT32_MAX), std::cos(reduced(INT32_MAX)) * 65536.0, 12.0);
}

TEST(FixedMath, ArctangentValuesAndSymmetry)
{
    EXPECT_EQ(fixedAtan2(0, -5), 205887);
    EXPECT_EQ(fixedAtan2(-1, -0x7FFF0000), -205887);
    EXPECT_EQ(fixedAtan2(5, 0), 102943);
    EXPECT_EQ(fixedAtan2(-5, 0), -102943);
    EXPECT_EQ(fixedAtan2(0, 0), 0);
    EXPECT_EQ(fixedAtan2(0, 7), 0);
    EXPECT_NEAR(fixedAtan(0x10000), 51472, 4);
    for (int64_t tl = 1; tl < 0x7F000000; tl = tl + tl / 3 + 5) {
        const int32_t t = static_cast<int32_t>(tl);
        EXPECT_EQ(fixedAtan(-t), -fixedAtan(t)) << t;
        EXPECT_NEAR(fixedAtan(t), std::atan(toDouble(t)) * 65536.0, 8.0) << t;
    }
    for (int32_t y = -0x500000; y <= 0x500000; y += 0x13579) {
        for (int32_t x = -0x500000; x <= 0x500000; x += 0x2468B) {
            if (x == 0 && y == 0)
                continue;
            EXPECT_NEAR(fixedAtan2(y, x), std::atan2(y, x) * 65536.0, 10.0) << y << ", " << x;
        }
    }
    EXPECT_NEAR(fixedAtan2(INT32_MIN, INT32_MIN), -3 * 205887 / 4, 10);
    EXPECT_NEAR(fixedAtan(INT32_MIN), -102943, 4);
}

TEST(FixedMath, PowersAndSaturatingDivisions)
{
    EXPECT_EQ(fixedPowInt(0x20000, 3), 0x80000);
    EXPECT_EQ(fixedPowInt(0x18000, 0), 0x10000);
    EXPECT_EQ(fixedPowInt(0x18000, 1), 0x18000);
    EXPECT_EQ(fixedPowInt(0x18000, -2), 0x10000);
    EXPECT_EQ(fixedPowInt(0x10000, INT32_MAX), 0x10000); // ends: the bit loop cannot wrap
    EXPECT_EQ(fixedPowInt(0x8000, INT32_MAX), 0);
    EXPECT_EQ(fixedPow(0x20000, 0x20000), 0x40000);
    // 2^2.5 with the fraction applied linearly: 4 + (2 - 1) * 0.5 * 4 = 6.
    EXPECT_EQ(fixedPow(0x20000, 0x28000), 0x60000);
    EXPECT_EQ(fixedPow(0x20000, 0x8000), 0x18000);

    EXPECT_EQ(safeDivide(7, 2), 3);
    EXPECT_EQ(safeDivide(-7, 2), -3);
    EXPECT_EQ(safeDivide(5, 0), 0x7FFFFFFF);
    EXPECT_EQ(safeDivide(-5, 0), 0x7FFFFFFF);
    EXPECT_EQ(safeDivide(INT32_MIN, -1), 0x7FFFFFFF);
    EXPECT_EQ(safeDivideUnsigned(9, 0), 0xFFFFFFFFu);
    EXPECT_EQ(safeDivideUnsigned(9, 4), 2u);
    EXPECT_EQ(fixedDiv64(-9, 0), INT64_MAX);
    EXPECT_EQ(fixedDiv64(INT64_MIN, -1), INT64_MAX);
    EXPECT_EQ(fixedDiv64(-9, 2), -4);
}

} // namespace
