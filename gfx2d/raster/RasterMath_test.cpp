// The rasterizer's fixed-point geometry against double-precision references
// and the exact values its tables fix.
#include "gfx2d/raster/RasterMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>

#include "gfx2d/raster/RasterState.h"


namespace {

constexpr double kOne = 65536.0;

double toDouble(Fixed v) { return v / kOne; }

class RasterMathTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        state = std::make_unique<RasterState>();
        state->init(0);
        t = state->tables();
        ASSERT_NE(t, nullptr);
    }
    std::unique_ptr<RasterState> state;
    const RasterTables* t = nullptr;
};

TEST_F(RasterMathTest, SinCosFollowsTheQuarterTableForEveryAngle)
{
    struct Case {
        int32_t angle;
        Fixed c, s;
    };
    const Case exact[] = {{0, 0x10000, 0}, {256, 0, 0x10000}, {512, -0x10000, 0}, {768, 0, -0x10000}};
    for (const Case& k : exact) {
        Fixed c, s;
        sinCos(*t, k.angle, &c, &s);
        EXPECT_EQ(c, k.c) << k.angle;
        EXPECT_EQ(s, k.s) << k.angle;
    }
    for (int32_t a = 0; a < 1024; ++a) {
        Fixed c, s, c2, s2;
        sinCos(*t, a, &c, &s);
        sinCos(*t, a + 1024 * 7, &c2, &s2);
        EXPECT_EQ(c, c2);
        EXPECT_EQ(s, s2);
        const double angle = a * 2 * M_PI / 1024;
        // The table truncates and its angles accumulate in single precision.
        EXPECT_NEAR(c, std::cos(angle) * kOne, 4.0) << a;
        EXPECT_NEAR(s, std::sin(angle) * kOne, 4.0) << a;
    }
}

TEST_F(RasterMathTest, ReciprocalScaleDividesLikeDoubleOverTheWholeRange)
{
    EXPECT_EQ(reciprocalApply(0x10000, reciprocalScale(*t, 0)), 0);  // no fault, just 0
    std::mt19937 rng(7);
    for (double d = 1; d < 2.1e9; d *= 1.0137) {
        for (int sign : {1, -1}) {
            const int32_t divisor = sign * static_cast<int32_t>(d);
            const int32_t a = static_cast<int32_t>(rng() % 0x4000000) - 0x2000000;
            const Fixed q = reciprocalApply(a, reciprocalScale(*t, divisor));
            const double want = a * kOne / divisor;
            if (std::fabs(want) > 2e9)
                continue;
            // Twelve bits of table index, then truncation.
            EXPECT_NEAR(q, want, std::fabs(want) / 2048 + 2) << a << " / " << divisor;
        }
    }
}

TEST_F(RasterMathTest, MatrixProductsMatchADoubleReference)
{
    std::mt19937 rng(3);
    auto small = [&] { return static_cast<Fixed>(static_cast<int32_t>(rng() % 0x40000) - 0x20000); };
    for (int round = 0; round < 200; ++round) {
        Fixed m[13], n[13], p[3];
        for (Fixed& w : m) w = small();
        for (Fixed& w : n) w = small();
        for (Fixed& w : p) w = small();
        // (m * n) p == m (n p) up to the truncation of each product.
        Fixed mn[13];
        std::memcpy(mn, m, sizeof m);
        multiply3x4(mn, n);
        Fixed viaProduct[3], np[3], viaBoth[3];
        transformPoint(mn, p, viaProduct);
        transformPoint(n, p, np);
        transformPoint(m, np, viaBoth);
        double ref[3];
        for (int r = 0; r < 3; ++r) {
            double nr = toDouble(n[10 + r]);
            for (int c = 0; c < 3; ++c) nr += toDouble(n[3 * r + c]) * toDouble(p[c]);
            ref[r] = nr;
        }
        for (int r = 0; r < 3; ++r) {
            double mr = toDouble(m[10 + r]);
            for (int c = 0; c < 3; ++c) mr += toDouble(m[3 * r + c]) * ref[c];
            EXPECT_NEAR(toDouble(viaProduct[r]), mr, 1e-3);
            EXPECT_NEAR(toDouble(viaBoth[r]), mr, 1e-3);
        }
        // A product with itself reads its operand before overwriting it.
        Fixed self[13], copy[13];
        std::memcpy(self, m, sizeof m);
        std::memcpy(copy, m, sizeof m);
        multiply3x4(self, self);
        multiply3x4(copy, m);
        EXPECT_EQ(0, std::memcmp(self, copy, sizeof self));
    }
}

TEST_F(RasterMathTest, InverseTransformsUndoRotations)
{
    for (int32_t angle = 0; angle < 1024; angle += 37) {
        Fixed a[6];
        affineRotation(*t, a, angle);
        a[4] = 0x123456;
        a[5] = -0x54321;
        Fixed p[2] = {0x30000, -0x71234};
        const Fixed original[2] = {p[0], p[1]};
        affineTransformPoint(a, p);
        affineInverseTransformPoint(a, p);
        EXPECT_NEAR(p[0], original[0], 64) << angle;  // the table is not exactly orthonormal
        EXPECT_NEAR(p[1], original[1], 64) << angle;

        Fixed m[13];
        setIdentity34(m);
        rotationY(*t, m, angle);
        Fixed v[3] = {0x20000, 0x10000, -0x30000}, out[3], back[3];
        transformPoint(m, v, out);
        inverseTransformPoint(m, out, back);
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(back[i], v[i], 64) << angle;
    }
}

TEST_F(RasterMathTest, VertexTransformsSetWAndSpanConstantsStayInTheirArray)
{
    Fixed m[13];
    setIdentity34(m);
    Fixed vertex[20] = {0x10000, 0x20000, -0x20000, 0};
    transformVertex3(m, vertex, 0);
    EXPECT_EQ(vertex[kVertexInW], 0x10000);
    EXPECT_EQ(vertex[kVertexOutW], 0x20000);
    transformVertex3(m, vertex, 1);
    EXPECT_EQ(vertex[kVertexOutW], 0x10000);
    m[10] = 0x10000;  // a translation scaled by the input w
    vertex[kVertexInW] = 0x8000;
    transformVertex4(m, vertex, 1);
    EXPECT_EQ(vertex[kVertexOutX], 0x10000 + 0x8000);
    EXPECT_EQ(vertex[kVertexOutW], 0x8000);

    RasterStateBlock& s = state->block();
    struct Case {
        uint32_t i;
        int words;
        bool writes;
    };
    const Case cases[] = {{127, 1, true}, {128, 1, false}, {124, 3, true}, {125, 3, false},
                          {123, 4, true}, {124, 4, false}, {0xFFFFFFFF, 1, false}};
    for (const Case& c : cases) {
        std::memset(s.regs, 0, sizeof s.regs);
        if (c.words == 1)
            setSpanConstant(s, c.i, 5);
        else if (c.words == 3)
            setSpanConstant3(s, c.i, 5, 5, 5);
        else
            setSpanConstant4(s, c.i, 5, 5, 5, 5);
        int written = 0;
        for (int32_t r : s.regs) written += r == 5;
        EXPECT_EQ(written, c.writes ? c.words : 0) << c.i << " x" << c.words;
        EXPECT_EQ(getSpanConstant(s, c.i), c.writes ? 5 : 0);
    }
}

TEST_F(RasterMathTest, StacksRefusePushBeyondTwentyAndPopBelowOne)
{
    RasterStateBlock& s = state->block();
    const MatrixStack34 before = s.secondStack;
    stackTop(s.textureStack)[10] = 0x777;
    int pushed = 0;
    for (int i = 0; i < 30; ++i) pushed += stackPush(s.textureStack);
    EXPECT_EQ(pushed, 19);
    EXPECT_EQ(s.textureStack.count, 20);
    EXPECT_EQ(stackTop(s.textureStack)[10], 0x777);
    EXPECT_EQ(0, std::memcmp(&before, &s.secondStack, sizeof before));
    int popped = 0;
    for (int i = 0; i < 30; ++i) popped += stackPop(s.textureStack);
    EXPECT_EQ(popped, 19);
    EXPECT_EQ(s.textureStack.count, 1);
}

}  // namespace
