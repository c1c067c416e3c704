// Transformable: the shared default block until the first change, setter
// tolerances, the composite order and the general-matrix rules; with them the
// random numbers and rectangle intersection kept beside the bases.
#include "engine/core/scene/CkwTransformable.h"

#include <gtest/gtest.h>

#include <functional>

#include "engine/core/factory/ClassIds.h"
#include "engine/core/math/CkwTransform.h"
#include "engine/core/runtime/Trap.h"
#include "engine/core/scene/CkwRandomNumber.h"
#include "engine/core/scene/RectIntersect.h"
#include "engine/core/scene/SceneIds.h"
#include "engine/core/testing/ReferenceTransform.h"

namespace {

class Plain : public CkwTransformable {
public:
    explicit Plain(int32_t classId = kClassGroup) : m_classId(classId) {}
    int32_t getClassId() const override { return m_classId; }
    CkwObject3D* duplicate() const override
    {
        auto* copy = new Plain(m_classId);
        copy->copyFrom(*this);
        return copy;
    }

private:
    int32_t m_classId;
};

class TransformableTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(engineInit(), 1); }
    void TearDown() override { engineShutdown(); }
    static int32_t trap(const std::function<void()>& body) { return engineTrap(body); }
};

TEST_F(TransformableTest, NewTransformableSharesTheDefaultBlockUntilChanged)
{
    Plain t;
    EXPECT_EQ(t.transformFlags(), CkwTransformable::kFlagSharedBlock | CkwTransformable::kFlagSharedMatrix);
    EXPECT_EQ(t.getTranslation(), engineContext()->defaultTransform->translation);
    EXPECT_EQ(t.updateCompositeTransform().getClass(), kMatrixIdentity);

    // Values within 1.5e-5 of the current ones change nothing.
    const float identity[4] = {0, 0, 0, 1};
    ASSERT_EQ(trap([&] {
        t.setTranslation(1e-5f, 0, -1e-5f);
        t.setScale(1.00001f, 1, 1);
        t.setOrientation(identity);
        t.translate(0, 0, 1e-5f);
        t.scale(1.00001f, 1, 1);
        t.setTransform(nullptr);
    }),
              KErrNone);
    EXPECT_TRUE(t.sharesDefaultBlock());

    ASSERT_EQ(trap([&] { t.translate(0, 0, 2e-5f); }), KErrNone);
    EXPECT_FALSE(t.sharesDefaultBlock());
    EXPECT_FLOAT_EQ(t.getTranslation()[2], 2e-5f);
    // The default block is untouched by the change.
    EXPECT_EQ(engineContext()->defaultTransform->translation[2], 0.0f);
}

TEST_F(TransformableTest, CompositeIsTranslationRotationScaleThenGeneral)
{
    Plain t;
    CkwTransform general;
    const float rowMajor[16] = {1, 0, 0, 1, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; // translate x by 1
    const float quarterZ[4] = {0, 0, 0.70710678f, 0.70710678f};                     // 90 degrees about Z
    ASSERT_EQ(trap([&] {
        general.setMatrix(16, rowMajor);
        t.setTransform(&general);
        t.setScale(2, 2, 2);
        t.setOrientation(quarterZ);
        t.setTranslation(0, 0, 5);
    }),
              KErrNone);
    EXPECT_TRUE(t.isCompositeDirty());
    const CkwMatrix& m = t.updateCompositeTransform();
    EXPECT_FALSE(t.isCompositeDirty());
    // The origin goes to M: (1,0,0), S: (2,0,0), R: (0,2,0), T: (0,2,5).
    EXPECT_NEAR(m.element(0, 3), 0.0f, 1e-5f);
    EXPECT_NEAR(m.element(1, 3), 2.0f, 1e-5f);
    EXPECT_NEAR(m.element(2, 3), 5.0f, 1e-5f);

    CkwTransform fresh;
    t.getCompositeTransform(fresh);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(fresh.matrix().m[i], m.m[i]);
}

// Non-uniform scale, rotations about unrelated axes and a sheared general
// matrix: none of the factors commute, so any other order shows.
TEST_F(TransformableTest, CompositeAndRotationsFollowTheReferenceOrder)
{
    const float sheared[16] = {1, 0.5f, 0, 2, 0, 1, -0.25f, 0, 0.75f, 0, 1, -1, 0, 0, 0, 1}; // row-major
    const RefRotation first = {{1, 2, 3}, 50};
    const RefRotation second = {{0, 1, -1}, 70};
    const RefMatrix generalPart = refScale(2, 0.5, 3) * refFromRowMajor(sheared);
    const RefMatrix t = refTranslation(4, -1, 2.5);
    const struct {
        const char* what;
        void (CkwTransformable::*rotate)(const float*);
        RefMatrix expected;
    } cases[] = {
        {"T R S M", nullptr, t * first.matrix() * generalPart},
        {"preRotate: the new turn on the left", &CkwTransformable::preRotate,
         t * second.matrix() * first.matrix() * generalPart},
        {"postRotate: the new turn on the right", &CkwTransformable::postRotate,
         t * first.matrix() * second.matrix() * generalPart},
    };
    for (const auto& c : cases) {
        Plain p;
        CkwTransform general;
        float q1[4], q2[4];
        first.quaternion(q1);
        second.quaternion(q2);
        ASSERT_EQ(trap([&] {
            general.setMatrix(16, sheared);
            p.setTransform(&general);
            p.setScale(2, 0.5f, 3);
            p.setOrientation(q1);
            p.setTranslation(4, -1, 2.5f);
            if (c.rotate != nullptr)
                (p.*c.rotate)(q2);
        }),
                  KErrNone);
        expectMatrixNear(p.updateCompositeTransform(), c.expected, 1e-5, c.what);
        CkwTransform fresh;
        p.getCompositeTransform(fresh);
        expectMatrixNear(fresh.matrix(), c.expected, 1e-5, c.what);
    }
}

TEST_F(TransformableTest, SetTransformRefusesProjectiveMatricesExceptForTextures)
{
    CkwTransform projective;
    const float rowMajor[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0};
    ASSERT_EQ(trap([&] { projective.setMatrix(16, rowMajor); }), KErrNone);
    Plain node;
    Plain texture(kClassTexture2D);
    EXPECT_EQ(trap([&] { node.setTransform(&projective); }), KErrIllegalArgument);
    EXPECT_TRUE(node.sharesDefaultBlock());
    EXPECT_EQ(trap([&] { texture.setTransform(&projective); }), KErrNone);
    EXPECT_FALSE(texture.transformFlags() & CkwTransformable::kFlagSharedMatrix);
    EXPECT_EQ(trap([&] { texture.setTransform(nullptr); }), KErrNone);
    EXPECT_EQ(&texture.getGeneralMatrix(), engineContext()->identityMatrix);
}

TEST_F(TransformableTest, AnimatedPropertiesAndCopies)
{
    Plain t;
    const float q[4] = {0, 0, 2, 0}; // normalised on the way in
    const float s[3] = {2, 3, 4};
    const float p[3] = {5, 6, 7};
    ASSERT_EQ(trap([&] {
        t.applyAnimatedProperty(kPropertyOrientation, 4, q);
        t.applyAnimatedProperty(kPropertyScale, 3, s);
        t.applyAnimatedProperty(kPropertyTranslation, 3, p);
    }),
              KErrNone);
    EXPECT_NEAR(t.getOrientation()[2], 1.0f, 1e-5f);
    EXPECT_EQ(t.getScale()[1], 3.0f);
    EXPECT_EQ(t.getTranslation()[2], 7.0f);
    EXPECT_TRUE(t.isAnimatable(kPropertyScale));
    EXPECT_FALSE(t.isAnimatable(kPropertyAlpha));

    CkwObject3D* copy = nullptr;
    ASSERT_EQ(trap([&] { copy = t.duplicate(); }), KErrNone);
    auto* c = static_cast<Plain*>(copy);
    EXPECT_NE(c->getTranslation(), t.getTranslation());
    EXPECT_EQ(c->getTranslation()[1], 6.0f);
    delete copy;

    Plain untouched;
    ASSERT_EQ(trap([&] { copy = untouched.duplicate(); }), KErrNone);
    EXPECT_TRUE(static_cast<Plain*>(copy)->sharesDefaultBlock());
    delete copy;
}

TEST(RandomNumber, FollowsTheLinearCongruence)
{
    CkwRandomNumber random;
    EXPECT_EQ(random.next(), 1013904223u & 0xFFFFu);
    EXPECT_EQ(random.seed(), 1013904223u);
    EXPECT_EQ(random.next(), (1013904223u * 1664525u + 1013904223u) & 0xFFFFu);
}

TEST(RectIntersect, IntersectsWithInclusiveEdges)
{
    const struct {
        CkwRect a, b, expected;
        bool meet;
    } cases[] = {
        {{0, 0, 10, 10}, {5, 5, 10, 10}, {5, 5, 5, 5}, true},
        {{0, 0, 10, 10}, {9, 0, 5, 5}, {9, 0, 1, 5}, true},
        {{0, 0, 10, 10}, {10, 0, 5, 5}, {0, 0, 0, 0}, false}, // side by side, no column shared
        {{32, 32, 64, 64}, {40, 40, 0, 0}, {0, 0, 0, 0}, false},
        {{0, 0, 10, 10}, {11, 0, 5, 5}, {0, 0, 0, 0}, false},
        {{0, 0, -5, 10}, {0, 0, 10, 10}, {0, 0, 0, 0}, false},
        {{2147483600, 0, 2147483647, 1}, {2147483640, 0, 100, 1}, {2147483640, 0, 100, 1}, true},
    };
    for (const auto& c : cases) {
        CkwRect a = c.a;
        EXPECT_EQ(rectIntersect(a, c.b), c.meet);
        EXPECT_EQ(a.x, c.expected.x);
        EXPECT_EQ(a.y, c.expected.y);
        EXPECT_EQ(a.width, c.expected.width);
        EXPECT_EQ(a.height, c.expected.height);
    }
}

} // namespace
