#include "gfx2d/image/PixelFormat.h"

#include <gtest/gtest.h>

#include <cstring>

#include "gfx2d/blit/PixelChannels.h"
#include "gfx2d/image/PixelBuffer.h"

namespace {

using namespace PixelFormat;

struct Pixel {
    RSBFormat format;
    uint8_t bytes[16];
};

Pixel word16(RSBFormat f, uint16_t v)
{
    Pixel p{f, {}};
    std::memcpy(p.bytes, &v, 2);
    return p;
}
Pixel word32(RSBFormat f, uint32_t v)
{
    Pixel p{f, {}};
    std::memcpy(p.bytes, &v, 4);
    return p;
}
Pixel fixed(RSBFormat f, int32_t a, int32_t b, int32_t c, int32_t d)
{
    Pixel p{f, {}};
    const int32_t w[4] = {a, b, c, d};
    std::memcpy(p.bytes, w, 16);
    return p;
}

TEST(PixelFormat, ConversionsGiveTheExactWidenedAndNarrowedValues)
{
    struct Case {
        Pixel pixel;
        uint32_t argb;
        uint32_t xrgb;
        uint16_t rgb565;
    };
    const Case cases[] = {
        {word16(R5G6B5, 0x0000), 0xFF000000, 0xFF000000, 0x0000},
        {word16(R5G6B5, 0xFFFF), 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFF},
        {word16(R5G6B5, 0xF800), 0xFFFF0000, 0xFFFF0000, 0xF800},
        {word16(R5G6B5, 0x07E0), 0xFF00FF00, 0xFF00FF00, 0x07E0},
        {word16(R5G6B5, 0x8410), 0xFF848284, 0xFF848284, 0x8410},
        {word32(X14R6G6B6, 0x20FC1), 0xFF80FF05, 0xFF80FF05, 0x87E0},
        {Pixel{R8G8B8, {0x11, 0x22, 0x33}}, 0xFF332211, 0xFF332211, 0x3102},
        {word32(X8R8G8B8, 0x7F112233), 0xFF112233, 0x7F112233, 0x1106},
        {word32(A8R8G8B8, 0x80FF8040), 0x80FF8040, 0xFFFF8040, 0xFC08},
        {fixed(ArgbFixed, -1, 65536, 0x8000, 0x12345), 0x00FF80FF, 0xFFFF80FF, 0xFC1F},
        {fixed(RgbaFixed, 0x4000, 0, 0xFFFF, 0x8000), 0x804000FF, 0xFF4000FF, 0x401F},
        // A1R5G5B5 and A4R4G4B4 convert only to 16 bits a channel.
        {word16(A1R5G5B5, 0xFFFF), 0, 0, 0},
        {word16(L8, 0x00FF), 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(formatName(c.pixel.format));
        EXPECT_EQ(pixelToArgb8888(c.pixel.format, c.pixel.bytes), c.argb);
        EXPECT_EQ(pixelToXrgb8888(c.pixel.format, c.pixel.bytes), c.xrgb);
        EXPECT_EQ(pixelToRgb565(c.pixel.format, c.pixel.bytes), c.rgb565);
    }
}

TEST(PixelFormat, SixteenBitChannelsWidenByReplicationOrCopy)
{
    struct Case {
        Pixel pixel;
        uint32_t out[4];
    };
    const Case cases[] = {
        {word16(R5G6B5, 0xFFFF), {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}},
        {word16(R5G6B5, 0x0000), {0xFFFF, 0, 0, 0}},
        {word16(A1R5G5B5, 0x7FFF), {0, 0xFFFF, 0xFFFF, 0xFFFF}},
        {word16(A1R5G5B5, 0x8000), {0xFFFF, 0, 0, 0}},
        {word16(A1R5G5B5, 0xC210), {0xFFFF, 0x8484, 0x8484, 0x8484}},
        {word16(A4R4G4B4, 0x8F0A), {0x8888, 0xFFFF, 0, 0xAAAA}},
        {fixed(ArgbFixed, -1, 65536, 7, 0), {0xFFFFFFFF, 0x10000, 7, 0}},
        {fixed(RgbaFixed, 1, 2, 3, 4), {4, 1, 2, 3}},
        {word32(L8, 0x12), {0x55, 0x66, 0x77, 0x88}},  // not converted: untouched
    };
    for (const Case& c : cases) {
        uint32_t out[4] = {0x55, 0x66, 0x77, 0x88};
        pixelToArgb16(out, c.pixel.format, c.pixel.bytes);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(out[i], c.out[i]) << formatName(c.pixel.format) << " channel " << i;
    }
}

TEST(PixelFormat, ExpandersReachFullScaleInEveryChannel)
{
    struct Case {
        const char* name;
        uint32_t (*expand)(uint32_t);
        uint32_t zero, mid, full;  // packed inputs
        uint32_t midResult;
    };
    const Case cases[] = {
        {"565 red", expandRed565, 0, 0x8000, 0xF800, 0x84},
        {"565 green", expandGreen565, 0, 0x0400, 0x07E0, 0x82},
        {"565 blue", expandBlue565, 0, 0x0010, 0x001F, 0x84},
        {"1555 red", expandRed1555, 0x8000, 0x4000, 0x7C00, 0x84},
        {"1555 green", expandGreen1555, 0x8000, 0x0200, 0x03E0, 0x84},
        {"1555 blue", expandBlue1555, 0x8000, 0x0010, 0x001F, 0x84},
        {"1555 alpha", expandAlpha1555, 0x7FFF, 0x7FFF, 0x8000, 0},
        {"4444 alpha", expandAlpha4444, 0, 0x8000, 0xF000, 0x88},
        {"4444 blue", expandBlue4444, 0, 0x0008, 0x000F, 0x88},
        {"8888 alpha", expandAlpha8888, 0, 0x80000000, 0xFF000000, 0x80},
        {"8888 green", expandGreen8888, 0, 0x8000, 0xFF00, 0x80},
        {"666 red", expandRed666, 0, 0x20000, 0x3F000, 0x80},
        {"666 blue", expandBlue666, 0, 0x21, 0x3F, 0x85},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expand(c.zero), 0u) << c.name;
        EXPECT_EQ(c.expand(c.mid), c.midResult) << c.name;
        EXPECT_EQ(c.expand(c.full), 255u) << c.name;
    }
}

TEST(PixelFormat, LosslessPairsRoundTrip)
{
    for (uint32_t v = 0; v < 0x10000; ++v) {
        const uint16_t in = static_cast<uint16_t>(v);
        uint32_t argb = 0;
        uint16_t back = 0;
        ASSERT_EQ(convertPixel(R5G6B5, &in, A8R8G8B8, &argb), 1);
        ASSERT_EQ(convertPixel(A8R8G8B8, &argb, R5G6B5, &back), 1);
        ASSERT_EQ(back, in);
    }
    for (uint32_t argb : {0x00000000u, 0xFFFFFFFFu, 0x80FF0001u, 0x12345678u}) {
        uint32_t words[4] = {};
        uint32_t back = 0, xrgb = 0;
        ASSERT_EQ(convertPixel(A8R8G8B8, &argb, ArgbFixed, words), 1);
        ASSERT_EQ(convertPixel(ArgbFixed, words, A8R8G8B8, &back), 1);
        EXPECT_EQ(back, argb);
        ASSERT_EQ(convertPixel(A8R8G8B8, &argb, X8R8G8B8, &xrgb), 1);
        EXPECT_EQ(xrgb, argb | 0xFF000000);
    }
    uint8_t untouched[3] = {1, 2, 3};
    const uint32_t white = 0xFFFFFFFF;
    EXPECT_EQ(convertPixel(A8R8G8B8, &white, R8G8B8, untouched), 0);
    EXPECT_EQ(untouched[0] + untouched[1] + untouched[2], 6);
}

TEST(PixelFormat, DepthWordsPassThrough)
{
    const uint32_t z = 0x12345678;
    EXPECT_EQ(pixelDepthValue(Z32, &z), z);
    EXPECT_EQ(pixelDepthValue(X8R8G8B8, &z), 0u);
    EXPECT_EQ(depthPixelToRgb565(Z32, &z), 0x1234);
    EXPECT_EQ(depthPixelToXrgb8888(Z32, &z), z);
    EXPECT_EQ(depthPixelToArgb8888(Z32, &z), z);
    EXPECT_EQ(depthPixelToArgb8888(X8R8G8B8, &z), 0xFF345678u);
    uint32_t words[4] = {};
    uint16_t high = 0;
    ASSERT_EQ(convertPixelWithDepth(Z32, &z, ArgbFixed, words), 1);
    ASSERT_EQ(convertPixelWithDepth(Z32, &z, R5G6B5, &high), 1);
    EXPECT_EQ(words[0] & words[1] & words[2] & words[3], z);
    EXPECT_EQ(high, 0x1234);
}

TEST(PixelFormat, PackersWriteLowByteFirstAndPowersOfTwoStopAt4096)
{
    uint8_t out[3] = {0, 0, 0xEE};
    packRgb565(out, 0x84, 0x84, 0x84);
    EXPECT_EQ(out[0] | out[1] << 8, 0x8430);
    packArgb1555(out, 1, 0xFF, 0x80, 0x08);
    EXPECT_EQ(out[0] | out[1] << 8, 0xFE01);
    packRgba5551(out, 0xFF, 0x80, 0x08, 0);
    EXPECT_EQ(out[0] | out[1] << 8, 0xFC02);
    packNibbles4444(out, 0xF0, 0x80, 0x3F, 0x0F);
    EXPECT_EQ(out[0] | out[1] << 8, 0xF830);
    EXPECT_EQ(out[2], 0xEE);

    const uint32_t pairs[][2] = {{0, 0}, {1, 1}, {3, 4}, {100, 128}, {4096, 4096}, {4097, 0}, {0xFFFFFFFF, 0}};
    for (const auto& p : pairs)
        EXPECT_EQ(nextPowerOfTwo(p[0]), p[1]) << p[0];
    EXPECT_STREQ(formatName(X8R8G8B8), "RSBFormat_Unknown");
    EXPECT_STREQ(formatName(P8A8R8G8B8), "RSBFormat_P256A8R8G8B8");
}

} // namespace
