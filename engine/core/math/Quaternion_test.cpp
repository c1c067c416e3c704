// Quaternions: matrix round trips on every branch, slerp ends and the
// antipodal case, axis-angle, log and exp.
#include "engine/core/math/Quaternion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace {

void randomUnit(std::mt19937& rng, float* q)
{
    std::normal_distribution<float> n(0.0f, 1.0f);
    for (int i = 0; i < 4; ++i)
        q[i] = n(rng);
    const float len = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    for (int i = 0; i < 4; ++i)
        q[i] /= len;
}

TEST(Quaternion, MatrixRoundTripGivesQOrMinusQ)
{
    std::mt19937 rng(2024);
    for (int i = 0; i < 2000; ++i) {
        float q[4];
        randomUnit(rng, q);
        CkwMatrix m;
        quaternionToMatrix(q, m);
        EXPECT_EQ(m.classWord, kMatrixLinear);
        float back[4];
        quaternionFromMatrix(m, back);
        const float sign = back[3] * q[3] + back[0] * q[0] + back[1] * q[1] + back[2] * q[2] < 0.0f ? -1.0f : 1.0f;
        // Near a half turn the trace is tiny and its rounding shows: the first
        // branch is taken down to 1.5e-5, so allow a percent there.
        for (int k = 0; k < 4; ++k)
            EXPECT_NEAR(back[k] * sign, q[k], 1e-2f) << i << " " << k;
    }
    // The three branches for rotations by pi about each axis.
    const float axes[3][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
    for (const auto& q : axes) {
        CkwMatrix m;
        quaternionToMatrix(q, m);
        float back[4];
        quaternionFromMatrix(m, back);
        for (int k = 0; k < 4; ++k)
            EXPECT_NEAR(std::fabs(back[k]), q[k], 1e-6f);
    }
}

TEST(Quaternion, DegenerateMatrixGivesTheIdentity)
{
    for (float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
        CkwMatrix m;
        m.m[0] = bad;
        m.m[5] = -1.0f;
        m.m[10] = -1.0f;
        float q[4] = {9, 9, 9, 9};
        quaternionFromMatrix(m, q);
        EXPECT_EQ(q[0], 0.0f);
        EXPECT_EQ(q[3], 1.0f);
    }
}

TEST(Quaternion, UnitWGivesTheIdentityMatrix)
{
    const float q[4] = {0.0f, 0.0f, 0.0f, -1.0f};
    CkwMatrix m;
    m.m[0] = 5.0f;
    quaternionToMatrix(q, m);
    EXPECT_EQ(m.classWord, kMatrixIdentity);
    EXPECT_EQ(m.m[0], 1.0f);
}

TEST(Quaternion, SlerpEndsMidpointAndTheAntipodalCase)
{
    const float a[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    const float b[4] = {0.0f, 0.0f, std::sin(0.5f), std::cos(0.5f)}; // 1 rad about z
    float out[4];
    quaternionSlerp(out, a, b, 0.0f);
    EXPECT_TRUE(quaternionEquals(out, a));
    quaternionSlerp(out, a, b, 1.0f);
    EXPECT_TRUE(quaternionEquals(out, b));
    quaternionSlerp(out, a, b, 0.5f);
    EXPECT_NEAR(out[2], std::sin(0.25f), 2e-4f);
    EXPECT_NEAR(out[3], std::cos(0.25f), 2e-4f);

    const float minusA[4] = {-0.0f, -0.0f, -0.0f, -1.0f};
    quaternionSlerp(out, a, minusA, 0.5f);
    for (float v : out)
        EXPECT_EQ(v, 0.0f);
}

TEST(Quaternion, AxisAngleLogExpAndProducts)
{
    const float identity[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    float axis[3];
    float angle = -1.0f;
    quaternionToAxisAngle(identity, axis, &angle);
    EXPECT_EQ(angle, 0.0f);
    EXPECT_EQ(axis[2], 1.0f);

    const float rawAxis[3] = {0.0f, 3.0f, 0.0f};
    float q[4];
    quaternionFromAxisAngle(q, 1.2f, rawAxis);
    quaternionToAxisAngle(q, axis, &angle);
    EXPECT_NEAR(angle, 1.2f, 1e-3f);
    EXPECT_NEAR(axis[1], 1.0f, 1e-5f);

    float logged[4];
    quaternionCopy(logged, q);
    quaternionLog(logged);
    EXPECT_NEAR(logged[1], 0.6f, 1e-3f);
    EXPECT_EQ(logged[3], 0.0f);
    quaternionExp(logged);
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(logged[k], q[k], 1e-3f);

    float rel[4];
    quaternionRelativeLog(rel, identity, q);
    EXPECT_NEAR(rel[1], 0.6f, 1e-3f);

    // Two half turns about z make a full turn: -identity.
    float half[4] = {0.0f, 0.0f, 1.0f, 0.0f};
    const float again[4] = {0.0f, 0.0f, 1.0f, 0.0f};
    quaternionMultiply(half, again);
    EXPECT_EQ(half[3], -1.0f);
    float x[4] = {1.0f, 0.0f, 0.0f, 0.0f};
    const float y[4] = {0.0f, 1.0f, 0.0f, 0.0f};
    float xy[4];
    quaternionCopy(xy, x);
    quaternionMultiply(xy, y); // i * j = k
    EXPECT_EQ(xy[2], 1.0f);
    quaternionPreMultiply(x, y); // j * i = -k
    EXPECT_EQ(x[2], -1.0f);

    float big[4] = {0.0f, 0.0f, 0.0f, 2.0f};
    quaternionNormalize(big);
    EXPECT_NEAR(big[3], 1.0f, 1e-5f);
    float tiny[4] = {0.0f, 0.0f, 0.0f, 1e-30f};
    quaternionNormalize(tiny);
    EXPECT_EQ(tiny[3], 1e-30f);

    float squad[4];
    quaternionSquad(squad, identity, identity, q, q, 0.0f);
    EXPECT_TRUE(quaternionEquals(squad, identity));
}

} // namespace
