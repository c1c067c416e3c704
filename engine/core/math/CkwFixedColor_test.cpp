// Fixed colours: every byte survives the way into the 0..256 scale and back,
// the 5-6-5 packing, and the products and factors with their limits.
#include "engine/core/math/CkwFixedColor.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace {

std::vector<int32_t> channels(const CkwFixedColor& c) { return {c.red, c.green, c.blue}; }

TEST(CkwFixedColor, EveryByteRoundTripsThroughTheLightingScale)
{
    for (uint32_t b = 0; b < 256; ++b) {
        CkwFixedColor c;
        c.setRgb(0x12000000u | b << 16 | (255 - b) << 8 | b);
        ASSERT_EQ(c.red, static_cast<int32_t>(b + ((b + 128) >> 8))) << b;
        ASSERT_EQ(c.toArgb(), 0xFF000000u | b << 16 | (255 - b) << 8 | b) << b;
        CkwFixedColor d;
        d.set(static_cast<int32_t>(b), static_cast<int32_t>(255 - b), static_cast<int32_t>(b));
        ASSERT_EQ(channels(d), channels(c)) << b;
    }
    CkwFixedColor c;
    c.setRgb(0xFF8000);
    EXPECT_EQ(channels(c), (std::vector<int32_t>{256, 129, 0}));
    EXPECT_EQ(c.getRed(), 0x10000);
    EXPECT_FALSE(c.isWhite() || c.isBlack());
    c = {600, -40, 128};
    EXPECT_EQ(c.toArgb(), 0xFFFF007Fu); // held to 0..255; 128 is 127 on the byte scale
    EXPECT_EQ(c.toRgb565(), 0xF810);
    c.clamp();
    EXPECT_EQ(channels(c), (std::vector<int32_t>{256, 0, 128}));
}

TEST(CkwFixedColor, Rgb565UnpacksToTheFullScale)
{
    const struct {
        uint16_t pixel;
        std::vector<int32_t> expected;
    } cases[] = {
        {0xFFFF, {256, 256, 256}}, {0x0000, {0, 0, 0}}, {0xF800, {256, 0, 0}}, {0x07E0, {0, 256, 0}}, {0x0821, {8, 4, 8}},
    };
    for (const auto& k : cases) {
        CkwFixedColor c;
        c.setRgb565(k.pixel);
        EXPECT_EQ(channels(c), k.expected) << k.pixel;
    }
    CkwFixedColor white;
    white.setRgb565(0xFFFF);
    EXPECT_TRUE(white.isWhite());
    EXPECT_EQ(white.toRgb565(), 0xFFFF);
}

TEST(CkwFixedColor, ProductsAndFactors)
{
    const CkwFixedColor base = {256, 128, -64};
    const struct {
        const char* what;
        void (*op)(CkwFixedColor&);
        std::vector<int32_t> expected;
    } cases[] = {
        {"half", [](CkwFixedColor& c) { c.scale(0.5f); }, {128, 64, -32}},
        {"held to 1024", [](CkwFixedColor& c) { c.scale(5000.0f); }, {262144, 131072, -65536}},
        {"held to -1024", [](CkwFixedColor& c) { c.scale(-5000.0f); }, {-262144, -131072, 65536}},
        {"NaN", [](CkwFixedColor& c) { c.scale(std::numeric_limits<float>::quiet_NaN()); }, {0, 0, 0}},
        {"16.16 half", [](CkwFixedColor& c) { c.scaleFixed(0x8000); }, {128, 64, -32}},
        {"16.16 held", [](CkwFixedColor& c) { c.scaleFixed(0x7FFFFFFF); }, {262144, 131072, -65536}},
        {"modulate", [](CkwFixedColor& c) { c.modulate({128, 256, 512}); }, {128, 128, -128}},
        {"add", [](CkwFixedColor& c) { c.add({1, 2, 3}); }, {257, 130, -61}},
        {"subtract", [](CkwFixedColor& c) { c.subtract({1, 2, 3}); }, {255, 126, -67}},
    };
    for (const auto& k : cases) {
        CkwFixedColor c = base;
        k.op(c);
        EXPECT_EQ(channels(c), k.expected) << k.what;
    }
}

} // namespace
