// Float vector helpers and the bit-level reciprocal square root.
#include "engine/core/math/CkwVector3D.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>

namespace {

TEST(CkwVector3D, FastInverseSquareRootTracksDoublePrecision)
{
    for (float a = 1e-30f; a < 1e30f; a *= 1.37f) {
        const double expected = 1.0 / std::sqrt(static_cast<double>(a));
        EXPECT_NEAR(fastInvSqrt(a), expected, expected * 5e-6) << a;
    }
}

// No special case for a sign bit: the seed 0x5F374800 - (i >> 1) wraps in 32
// bits (for -0.0 it is 0x9F374800) and the two Newton steps follow.
TEST(CkwVector3D, FastInverseSquareRootOfASignedInputWrapsItsSeed)
{
    const float a = -0.0f;
    float y = std::bit_cast<float>(0x9F374800u);
    y = ((3.0f - (y * y) * a) * y) * 0.5f;
    y = ((3.0f - (y * y) * a) * y) * 0.5f;
    EXPECT_EQ(std::bit_cast<uint32_t>(fastInvSqrt(a)), std::bit_cast<uint32_t>(y));
    EXPECT_TRUE(std::isnan(fastInvSqrt(std::bit_cast<float>(0xFFC00000u))));
}

TEST(CkwVector3D, NormalizeCrossLerpAndHomogeneous)
{
    CkwVector3D zero = {0.0f, 0.0f, 0.0f};
    CkwVector3D::normalize(zero);
    EXPECT_EQ(zero.x, 0.0f);
    CkwVector3D unit = {1.0f, 0.0f, 0.0f};
    CkwVector3D::normalize(unit);
    EXPECT_EQ(unit.x, 1.0f); // exactly 1: untouched
    CkwVector3D v = {3.0f, 0.0f, 4.0f};
    CkwVector3D::normalize(v);
    EXPECT_NEAR(v.x, 0.6f, 5e-6f);
    EXPECT_NEAR(v.z, 0.8f, 5e-6f);

    const CkwVector3D x = {1.0f, 0.0f, 0.0f};
    const CkwVector3D y = {0.0f, 1.0f, 0.0f};
    CkwVector3D z;
    EXPECT_EQ(&CkwVector3D::cross(x, z, y), &z);
    EXPECT_EQ(z.z, 1.0f);
    CkwVector3D a = y;
    CkwVector3D::crossInPlace(a, x);
    EXPECT_EQ(a.z, -1.0f);

    CkwVector3D mid;
    CkwVector3D::lerp(mid, x, y, 0.25f);
    EXPECT_EQ(mid.x, 0.75f);
    EXPECT_EQ(mid.y, 0.25f);

    CkwVector3D h;
    CkwVector3D::fromHomogeneous(h, 2.0f, 4.0f, 6.0f, 1.00001f);
    EXPECT_EQ(h.x, 2.0f);
    CkwVector3D::fromHomogeneous(h, 2.0f, 4.0f, 6.0f, 0.00001f);
    EXPECT_EQ(h.y, 4.0f);
    CkwVector3D::fromHomogeneous(h, 2.0f, 4.0f, 6.0f, 2.0f);
    EXPECT_EQ(h.z, 3.0f);

    const float negative = -2.5f;
    EXPECT_EQ(absFloatBits(&negative), 0x40200000u);
    float sum[3];
    const float p[3] = {1, 2, 3};
    EXPECT_EQ(vector3Add(p, sum, p), sum);
    EXPECT_EQ(sum[2], 6.0f);
    vector3ScaleTo(p, sum, 0.5f);
    EXPECT_EQ(sum[1], 1.0f);
}

} // namespace
