// Float checks and conversions: the classes of checkFloat, the exponential
// against double precision, fixed/float conversions and colour packing.
#include "engine/core/math/FloatBits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/core/runtime/EngineContext.h"
#include "engine/core/runtime/Trap.h"

namespace {

TEST(FloatBits, CheckFloatClasses)
{
    ASSERT_EQ(engineInit(), 1);
    struct Case {
        uint32_t bits;
        int32_t code;
        uint32_t result;
    };
    const Case cases[] = {
        {0x00000000u, KErrNone, 0},            {0x80000000u, KErrNone, 0},            // +-0
        {0x00000001u, KErrNone, 0},            {0x807FFFFFu, KErrNone, 0},            // denormals
        {0x3F800000u, KErrNone, 0x3F800000u},  {0xFF7FFFFFu, KErrNone, 0xFF7FFFFFu},  // normal
        {0x7F800000u, KErrInvalidFloat, 0},    {0xFF800000u, KErrInvalidFloat, 0},    // infinities
        {0x7FC00000u, KErrInvalidFloat, 0},    {0xFFFFFFFFu, KErrInvalidFloat, 0},    // NaNs
    };
    for (const Case& c : cases) {
        uint32_t result = 0xDEADBEEF;
        EXPECT_EQ(engineTrap([&] { result = checkFloat(c.bits); }), c.code) << std::hex << c.bits;
        if (c.code == KErrNone) {
            EXPECT_EQ(result, c.result) << std::hex << c.bits;
        }
    }
    engineShutdown();
}

TEST(FloatBits, ExponentialMatchesDoublePrecision)
{
    EXPECT_EQ(floatExp(0.0f), 1.0f);
    EXPECT_EQ(floatBits(floatExp(88.5f)), 0x7F7FFFFFu);
    EXPECT_EQ(floatBits(floatExp(-88.5f)), 0u);
    for (float x = -87.0f; x <= 87.0f; x += 0.173f) {
        const double expected = std::exp(static_cast<double>(x));
        // x * log2(e) is rounded to float first: one ulp of it grows with |x|.
        EXPECT_NEAR(floatExp(x), expected, expected * (2e-6 + 8e-8 * std::fabs(x))) << x;
    }
}

TEST(FloatBits, FloatToFixedAndBack)
{
    struct Case {
        float f;
        Fixed fixed;
    };
    const Case cases[] = {
        {1.0f, 0x10000},  {-1.0f, -0x10000},       {0.5f, 0x8000},           {40000.0f, 0x7FFFFFFF},
        {-40000.0f, -0x7FFFFFFF}, {1e-9f, 0},      {32767.5f, 0x7FFF8000},  {1.5258789e-5f, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(floatToFixed(c.f), c.fixed) << c.f;

    for (int32_t x : {1, -1, 0x10000, -0x10000, 12345678, -0x7FFFFFFF, INT32_MIN, 0x7FFFFFFF, 3, 0x1FFFFFF}) {
        const float f = fixedToFloat(x);
        EXPECT_NEAR(f, x / 65536.0, std::fabs(x / 65536.0) * 1.2e-7) << x;
    }
    EXPECT_EQ(fixedToFloat(0), 0.0f);
    EXPECT_EQ(fixedToFloat(INT32_MIN), -32768.0f);
    uint8_t bytes[4];
    fixedToFloatBytes(0x10000, bytes);
    EXPECT_EQ(bytes[0], 0x00);
    EXPECT_EQ(bytes[2], 0x80);
    EXPECT_EQ(bytes[3], 0x3F);
}

TEST(FloatBits, SaturatingConversionNeverOverflows)
{
    EXPECT_EQ(saturateToInt(3e9f), INT32_MAX);
    EXPECT_EQ(saturateToInt(-3e9f), INT32_MIN);
    EXPECT_EQ(saturateToInt(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(saturateToInt(-2.7f), -2);
    EXPECT_EQ(saturateToInt(2147483520.0f), 2147483520);
    EXPECT_EQ(roundToFixed(-1.5f), -98303);
    EXPECT_EQ(roundToFixed(1.5f), 98304);
}

TEST(FloatBits, ColourChannels)
{
    uint32_t colour = 0x12345678;
    colorSetRgb(&colour, -1.0f, 2.0f, 0.5f);
    EXPECT_EQ(colour, 0x1200FF80u);
    colorInitOpaqueBlack(&colour);
    EXPECT_EQ(colour, 0xFF000000u);
    EXPECT_EQ(colorSetAlpha(&colour, 0.5f), 128);
    EXPECT_EQ(colorSetRed(&colour, 1.0f), 255);
    EXPECT_EQ(colorSetGreen(&colour, 0.0f), 0);
    EXPECT_EQ(colorSetBlue(&colour, 0.2f), 51);
    EXPECT_EQ(colour, 0x80FF0033u);
    colorSetWord(&colour, 7);
    EXPECT_EQ(colour, 7u);
    uint8_t bytes[4];
    storeWordBytes(0xAABBCCDD, bytes);
    EXPECT_EQ(bytes[0], 0xDD);
    EXPECT_EQ(bytes[3], 0xAA);
}

} // namespace
