// The transform object: row-major get/set, classification, the failures it
// leaves with, and vector and vertex-array transforms.
#include "engine/core/math/CkwTransform.h"

#include <gtest/gtest.h>

#include <limits>

#include "engine/core/runtime/EngineContext.h"
#include "engine/core/runtime/Trap.h"

namespace {

class CkwTransformTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(engineInit(), 1); }
    void TearDown() override { engineShutdown(); }
};

TEST_F(CkwTransformTest, SetMatrixThenGetKeepsRowMajorOrder)
{
    float in[16];
    for (int i = 0; i < 16; ++i)
        in[i] = static_cast<float>(i + 1);
    CkwTransform t;
    float out[16] = {};
    ASSERT_EQ(engineTrap([&] {
                  t.setMatrix(16, in);
                  t.get(16, out);
              }),
              KErrNone);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(out[i], in[i]);
    EXPECT_EQ(t.matrix().m[12], 4.0f); // in[3] is the x translation
    EXPECT_EQ(t.matrix().classWord, kMatrixGeneral);
}

TEST_F(CkwTransformTest, ClassWordsFollowTheElements)
{
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    CkwTransform t;
    ASSERT_EQ(engineTrap([&] { t.setMatrix(16, identity); }), KErrNone);
    EXPECT_EQ(t.matrix().classWord, kMatrixIdentity);
    const float nudge[3] = {0.0f, 0.0f, 1e-6f};
    t.postTranslate(nudge);
    EXPECT_EQ(t.matrix().classWord, kMatrixIdentity);
    t.postScale(2.0f, 2.0f, 2.0f);
    EXPECT_EQ(t.matrix().classWord, kMatrixDiagonal);
    const float move[3] = {1.0f, 0.0f, 0.0f};
    t.postTranslate(move);
    EXPECT_EQ(t.matrix().classWord, kMatrixAffine);
    EXPECT_EQ(t.matrix().m[12], 2.0f); // scale applied after the translation
}

TEST_F(CkwTransformTest, PostMultiplyByItselfSquaresTheMatrix)
{
    // A rotation of 90 degrees about z with a translation, row-major.
    const float in[16] = {0, -1, 0, 5, 1, 0, 0, 7, 0, 0, 1, 0, 0, 0, 0, 1};
    CkwTransform t;
    ASSERT_EQ(engineTrap([&] { t.setMatrix(16, in); }), KErrNone);
    ASSERT_EQ(t.matrix().classWord, kMatrixAffine);
    t.postMultiply(t);
    float out[16] = {};
    ASSERT_EQ(engineTrap([&] { t.get(16, out); }), KErrNone);
    // Half a turn, and the translation moved by the first rotation: (5 - 7, 7 + 5).
    const float expected[16] = {-1, 0, 0, -2, 0, -1, 0, 12, 0, 0, 1, 0, 0, 0, 0, 1};
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(out[i], expected[i]) << i;
}

TEST_F(CkwTransformTest, BadArgumentsLeaveWithTheirCodes)
{
    CkwTransform t;
    float values[16] = {};
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(engineTrap([&] { t.get(15, values); }), KErrIllegalArgument);
    EXPECT_EQ(engineTrap([&] { t.setMatrix(15, values); }), KErrIllegalArgument);
    values[5] = nan;
    EXPECT_EQ(engineTrap([&] { t.setMatrix(16, values); }), KErrInvalidFloat);
    EXPECT_EQ(t.matrix().classWord, kMatrixGeneral);
    EXPECT_EQ(engineTrap([&] { t.transform(6, values); }), KErrIllegalArgument);
    EXPECT_EQ(engineTrap([&] { t.transform(8, values); }), KErrInvalidFloat);

    float zero[16] = {};
    CkwTransform singular;
    ASSERT_EQ(engineTrap([&] { singular.setMatrix(16, zero); }), KErrNone);
    EXPECT_FALSE(singular.isInvertible());
    EXPECT_EQ(engineTrap([&] { singular.invert(); }), KErrSingularTransform);
    for (float e : singular.matrix().m)
        EXPECT_EQ(e, 0.0f);
}

TEST_F(CkwTransformTest, InvertRoundTripsAndTransposeReclassifies)
{
    CkwTransform t;
    const float q[4] = {0.0f, 0.0f, 0.38268343f, 0.92387953f};
    t.postRotateQuat(q);
    const float move[3] = {3.0f, -1.0f, 2.0f};
    t.postTranslate(move);
    CkwTransform inverse;
    inverse.set(t);
    ASSERT_EQ(engineTrap([&] { inverse.invert(); }), KErrNone);
    inverse.postMultiply(t);
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(inverse.matrix().m[i], (i % 5 == 0) ? 1.0f : 0.0f, 1e-5f);
    t.transpose();
    EXPECT_EQ(t.matrix().classWord, kMatrixGeneral);
}

TEST_F(CkwTransformTest, VectorAndVertexArrayTransforms)
{
    CkwTransform t;
    const float move[3] = {10.0f, 20.0f, 30.0f};
    t.postTranslate(move);
    float v[8] = {1, 2, 3, 1, 1, 2, 3, 0};
    ASSERT_EQ(engineTrap([&] { t.transform(8, v); }), KErrNone);
    EXPECT_EQ(v[0], 11.0f);
    EXPECT_EQ(v[4], 1.0f); // w = 0: a direction

    const int8_t bytes[] = {1, -2, 3, -4, 5, -6};
    const CkwVertexData array3 = {2, 3, 1, bytes};
    float out[8];
    ASSERT_EQ(engineTrap([&] { t.transformArray(array3, 8, out, false); }), KErrNone);
    EXPECT_EQ(out[0], 1.0f);
    EXPECT_EQ(out[5], 5.0f);
    EXPECT_EQ(out[3], 0.0f);
    ASSERT_EQ(engineTrap([&] { t.transformArray(array3, 8, out, true); }), KErrNone);
    EXPECT_EQ(out[1], 18.0f);
    EXPECT_EQ(out[7], 1.0f);

    const int16_t shorts[] = {1000, -1000};
    const CkwVertexData array2 = {1, 2, 2, shorts};
    ASSERT_EQ(engineTrap([&] { t.transformArray(array2, 4, out, true); }), KErrNone);
    EXPECT_EQ(out[0], 1010.0f);
    EXPECT_EQ(out[2], 30.0f);

    EXPECT_EQ(engineTrap([&] { t.transformArray(array3, 7, out, true); }), KErrIllegalArgument);
    const CkwVertexData array4 = {1, 4, 1, bytes};
    EXPECT_EQ(engineTrap([&] { t.transformArray(array4, 4, out, true); }), KErrIllegalArgument);
}

TEST_F(CkwTransformTest, CreatedThroughTheFactoryWithCountZero)
{
    IkwSerializable* object = nullptr;
    ASSERT_EQ(engineTrap([&] { object = CkwTransform::create(); }), KErrNone);
    EXPECT_EQ(object->getClassId(), kClassTransform);
    EXPECT_EQ(object->refCount(), 0);
    EXPECT_EQ(static_cast<CkwTransform*>(object)->matrix().classWord, kMatrixIdentity);
    object->addRef();
    object->release();
}

} // namespace
