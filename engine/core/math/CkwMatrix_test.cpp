// The matrix library: every class shortcut equals the full 4x4 product on
// random matrices of every class, classification, the pre-products, the
// inverse and the normal matrix.
#include "engine/core/math/CkwMatrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

const int32_t kClasses[] = {kMatrixIdentity, kMatrixTranslation, kMatrixDiagonal, kMatrixLinear, kMatrixAffine,
                            kMatrixGeneral};

// A random matrix whose structure is exactly that of the class.
CkwMatrix randomOfClass(std::mt19937& rng, int32_t classWord)
{
    std::uniform_real_distribution<float> value(-4.0f, 4.0f);
    CkwMatrix m;
    switch (classWord) {
    case kMatrixTranslation:
        m = CkwMatrix::translation(value(rng), value(rng), value(rng));
        break;
    case kMatrixDiagonal:
        m = CkwMatrix::scaling(value(rng), value(rng), value(rng));
        break;
    case kMatrixLinear:
    case kMatrixAffine:
    case kMatrixGeneral:
        for (int c = 0; c < 4; ++c)
            for (int r = 0; r < 4; ++r) {
                const bool bottom = r == 3;
                const bool translation = c == 3 && r < 3;
                float v = value(rng);
                if (classWord != kMatrixGeneral && bottom)
                    v = c == 3 ? 1.0f : 0.0f;
                if (classWord == kMatrixLinear && translation)
                    v = 0.0f;
                m.m[4 * c + r] = v;
            }
        break;
    default:
        break;
    }
    m.classify();
    EXPECT_EQ(m.classWord, classWord);
    return m;
}

CkwMatrix fullProduct(const CkwMatrix& a, const CkwMatrix& b)
{
    CkwMatrix out;
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            out.m[4 * c + r] = a.m[r] * b.m[4 * c] + a.m[4 + r] * b.m[4 * c + 1] + a.m[8 + r] * b.m[4 * c + 2]
                + a.m[12 + r] * b.m[4 * c + 3];
    return out;
}

void expectSameElements(const CkwMatrix& actual, const CkwMatrix& expected, const char* what, int32_t ca,
                        int32_t cb)
{
    for (int i = 0; i < 16; ++i)
        ASSERT_EQ(actual.m[i], expected.m[i]) << what << " " << ca << " x " << cb << " element " << i;
}

TEST(CkwMatrix, EveryShortcutProductEqualsTheFullProduct)
{
    std::mt19937 rng(12345);
    for (int round = 0; round < 200; ++round) {
        for (int32_t ca : kClasses) {
            for (int32_t cb : kClasses) {
                const CkwMatrix a = randomOfClass(rng, ca);
                const CkwMatrix b = randomOfClass(rng, cb);
                CkwMatrix product = a;
                product.multiply(b);
                expectSameElements(product, fullProduct(a, b), "multiply", ca, cb);
                EXPECT_EQ(product.classWord, (ca & cb));

                CkwMatrix pre = a;
                pre.preMultiply(b);
                expectSameElements(pre, fullProduct(b, a), "preMultiply", ca, cb);
            }
        }
    }
}

// A transform post-multiplied by itself hands its own matrix in as the other
// operand; no shortcut may read an element it has already overwritten.
TEST(CkwMatrix, ProductWithItselfEqualsTheFullProduct)
{
    std::mt19937 rng(777);
    for (int round = 0; round < 50; ++round) {
        for (int32_t c : kClasses) {
            const CkwMatrix a = randomOfClass(rng, c);
            CkwMatrix square = a;
            square.multiply(square);
            expectSameElements(square, fullProduct(a, a), "multiply self", c, c);
            EXPECT_EQ(square.classWord, c);

            CkwMatrix pre = a;
            pre.preMultiply(pre);
            expectSameElements(pre, fullProduct(a, a), "preMultiply self", c, c);
        }
    }
}

TEST(CkwMatrix, ClassifyScaleAndTranslateKeepHonestClassWords)
{
    CkwMatrix m;
    m.scale(1.0f, 1.0f, 1.00001f);
    EXPECT_EQ(m.classWord, kMatrixIdentity);
    m.translate(1.0f, 2.0f, 3.0f);
    EXPECT_EQ(m.classWord, kMatrixTranslation);
    EXPECT_EQ(m.m[13], 2.0f);

    CkwMatrix d = CkwMatrix::scaling(2.0f, 3.0f, 4.0f);
    d.translate(1.0f, 0.0f, 0.0f);
    EXPECT_EQ(d.classWord, kMatrixAffine);

    CkwMatrix t = CkwMatrix::translation(1.0f, 0.0f, 0.0f);
    t.multiply(CkwMatrix::scaling(2.0f, 2.0f, 2.0f));
    EXPECT_EQ(t.classWord, 3);

    CkwMatrix s;
    s.scale(2.0f, 3.0f, 4.0f);
    EXPECT_EQ(s.classWord, kMatrixDiagonal);
    EXPECT_EQ(s.m[10], 4.0f);
    s.scaleUniform(1.000001f);
    EXPECT_EQ(s.m[0], 2.0f);

    CkwMatrix tr = CkwMatrix::translation(1.0f, 2.0f, 3.0f);
    tr.transpose();
    EXPECT_EQ(tr.classWord, kMatrixTranslation);
    EXPECT_EQ(tr.m[3], 1.0f);
    tr.classify();
    EXPECT_EQ(tr.classWord, kMatrixGeneral);
}

TEST(CkwMatrix, TranslateAndScaleAreLeftProductsForEveryClass)
{
    std::mt19937 rng(99);
    for (int32_t c : kClasses) {
        const CkwMatrix a = randomOfClass(rng, c);
        CkwMatrix translated = a;
        translated.translate(0.5f, -2.0f, 3.0f);
        const CkwMatrix expectedT = fullProduct(CkwMatrix::translation(0.5f, -2.0f, 3.0f), a);
        for (int i = 0; i < 16; ++i)
            EXPECT_NEAR(translated.m[i], expectedT.m[i], 1e-5f) << c << " " << i;

        CkwMatrix scaled = a;
        scaled.scale(2.0f, -1.5f, 0.25f);
        const CkwMatrix expectedS = fullProduct(CkwMatrix::scaling(2.0f, -1.5f, 0.25f), a);
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(scaled.m[i], expectedS.m[i]) << c << " " << i;
    }
}

TEST(CkwMatrix, InverseRoundTripsForEveryClass)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 100; ++round) {
        for (int32_t c : kClasses) {
            const CkwMatrix a = randomOfClass(rng, c);
            CkwMatrix inverse = a;
            if (!inverse.invert())
                continue; // a random singular matrix is possible, if unlikely
            EXPECT_EQ(inverse.classWord, c);
            const CkwMatrix identity = fullProduct(a, inverse);
            for (int i = 0; i < 16; ++i)
                EXPECT_NEAR(identity.m[i], (i % 5 == 0) ? 1.0f : 0.0f, 2e-3f) << c << " " << i;
        }
    }
}

TEST(CkwMatrix, SingularMatricesFailAndStayUnchanged)
{
    CkwMatrix zero;
    for (float& e : zero.m)
        e = 0.0f;
    zero.m[15] = 1.0f;
    zero.classWord = kMatrixGeneral;
    const CkwMatrix before = zero;
    EXPECT_FALSE(zero.invert());
    EXPECT_TRUE(zero.equals(before));

    CkwMatrix rankTwo;
    rankTwo.m[0] = 1.0f, rankTwo.m[4] = 2.0f, rankTwo.m[8] = 3.0f;
    rankTwo.m[1] = 2.0f, rankTwo.m[5] = 4.0f, rankTwo.m[9] = 6.0f;
    rankTwo.classify();
    const CkwMatrix rankBefore = rankTwo;
    EXPECT_FALSE(rankTwo.invert());
    EXPECT_TRUE(rankTwo.equals(rankBefore));

    CkwMatrix tiny = CkwMatrix::scaling(1e-20f, 1.0f, 1.0f);
    EXPECT_TRUE(tiny.invert());
    EXPECT_NEAR(tiny.m[0], 1e20f, 1e14f);
}

TEST(CkwMatrix, TransformsTakeTheirShortcutsAndProjectOnlyWhenWIsFar)
{
    const CkwVector3D p = {1.0f, 2.0f, 3.0f};
    CkwVector3D out;
    CkwMatrix::translation(1.0f, 1.0f, 1.0f).transformPoint(out, p);
    EXPECT_EQ(out.z, 4.0f);
    CkwMatrix::translation(1.0f, 1.0f, 1.0f).transformDirection(out, p);
    EXPECT_EQ(out.z, 3.0f);
    CkwMatrix::scaling(2.0f, 2.0f, 2.0f).transformPoint(out, p);
    EXPECT_EQ(out.y, 4.0f);

    CkwMatrix projective;
    projective.m[15] = 1.00001f;
    projective.classify();
    float w = 1.0f;
    projective.transformProject(out, p, w);
    EXPECT_EQ(out.x, 1.0f);
    projective.m[15] = 2.0f;
    w = 1.0f;
    projective.transformProject(out, p, w);
    EXPECT_EQ(w, 2.0f);
    EXPECT_EQ(out.x, 0.5f);

    EXPECT_EQ(CkwMatrix::translation(5.0f, 0.0f, 0.0f).scaleBound(), 1.0f);
    CkwMatrix general = CkwMatrix::scaling(2.0f, -3.0f, 1.0f);
    general.m[4] = 0.5f;
    general.classify();
    EXPECT_EQ(general.scaleBound(), 3.0f);
}

TEST(CkwMatrix, NormalMatrixInvertsAndTransposesUnlessOrthonormal)
{
    const float axis[3] = {0.0f, 0.0f, 1.0f};
    CkwMatrix rotation = CkwMatrix::fromAxisAngle(0.7f, axis);
    const CkwMatrix before = rotation;
    EXPECT_TRUE(rotation.makeNormalMatrix());
    EXPECT_EQ(rotation.classWord, kMatrixLinear);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(rotation.m[i], before.m[i]);

    CkwMatrix scale = CkwMatrix::scaling(2.0f, 4.0f, 8.0f);
    EXPECT_TRUE(scale.makeNormalMatrix());
    EXPECT_EQ(scale.m[5], 0.25f);

    CkwMatrix moved = CkwMatrix::translation(1.0f, 2.0f, 3.0f);
    EXPECT_TRUE(moved.makeNormalMatrix());
    EXPECT_EQ(moved.m[0], 1.0f);
    EXPECT_EQ(moved.m[3], -1.0f); // the inverse translation, transposed
    EXPECT_EQ(moved.classWord, kMatrixGeneral);

    CkwMatrix flat = CkwMatrix::scaling(0.0f, 1.0f, 1.0f);
    EXPECT_FALSE(flat.makeNormalMatrix());
}

} // namespace
