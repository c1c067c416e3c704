// Texel addressing at the edges of odd-sized textures, texel conversion and
// the sampler's filter modes against references written here.
#include "gfx2d/raster/TexelFetch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>


namespace {

using namespace PixelFormat;

// Wrap as the addressing rules say, on one axis of n texels.
int32_t refWrap(int64_t x, int32_t n, int32_t wrap)
{
    if (wrap == kWrapClamp)
        return static_cast<int32_t>(std::clamp<int64_t>(x, 0, n - 1));
    const bool odd = (x & n) != 0;
    int32_t m = static_cast<int32_t>(x & (n - 1));
    return wrap == kWrapMirror && odd ? n - 1 - m : m;
}

struct Texture {
    uint32_t width, height;
    std::vector<uint32_t> texels;  // A8R8G8B8, every level one after another
    const uint8_t* levels[kTextureLevelCount] = {};
    int32_t levelCount = 0;

    Texture(uint32_t w, uint32_t h, int32_t count) : width(w), height(h), levelCount(count)
    {
        size_t total = 0;
        for (int l = 0; l < count; ++l)
            total += std::max(w >> l, 1u) * std::max(h >> l, 1u);
        texels.resize(total);
        size_t at = 0;
        for (int l = 0; l < count; ++l) {
            levels[l] = reinterpret_cast<const uint8_t*>(texels.data() + at);
            const uint32_t lw = std::max(w >> l, 1u), lh = std::max(h >> l, 1u);
            for (uint32_t y = 0; y < lh; ++y)
                for (uint32_t x = 0; x < lw; ++x)
                    texels[at + y * lw + x] = 0xFF000000u | l << 20 | (y * 37 + x * 11) << 8 | (x * 29 + y * 3);
            at += lw * lh;
        }
    }
    uint32_t at(int level, int32_t x, int32_t y) const
    {
        const uint32_t lw = std::max(width >> level, 1u);
        return reinterpret_cast<const uint32_t*>(levels[level])[y * lw + x];
    }
    SamplerUnit unit(int32_t filter, int32_t wrap) const
    {
        SamplerUnit s;
        s.format = A8R8G8B8;
        s.width = width;
        s.height = height;
        s.bpp = 4;
        s.levelCount = levelCount;
        s.filterMode = filter;
        s.wrap = wrap;
        std::copy(levels, levels + kTextureLevelCount, s.levels);
        return s;
    }
};

uint32_t wordAt(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

TEST(TexelFetch, AddressesWrapClampAndMirrorAtTheEdgesOfEveryLevel)
{
    const Texture t(8, 4, 4);  // levels 8x4, 4x2, 2x1, 1x1
    const Texture odd(5, 3, 1);
    for (int32_t wrap : {kWrapRepeat, kWrapClamp, kWrapMirror})
        for (int32_t level = -1; level <= 12; ++level)
            for (int32_t x = -9; x <= 17; ++x)
                for (int32_t y = -5; y <= 9; y += 3) {
                    const Fixed u = x * 0x10000 + 0x7FFF, v = y * 0x10000 + 0x1234;
                    const int32_t l = std::clamp<int32_t>(level, 0, kTextureLevelCount - 1);
                    const uint8_t* p = texelAddress(t.levels, 4, wrap, 8, 4, u, v, level);
                    if (l > 3) {
                        EXPECT_EQ(p, nullptr);  // a level the texture does not have
                        continue;
                    }
                    const int32_t w = std::max(8 >> l, 1), h = std::max(4 >> l, 1);
                    const uint32_t want = t.at(l, refWrap(u >> (16 + l), w, wrap), refWrap(v >> (16 + l), h, wrap));
                    ASSERT_NE(p, nullptr);
                    EXPECT_EQ(wordAt(p), want) << wrap << " level " << level << " x " << x << " y " << y;
                    if (wrap == kWrapClamp) {
                        const uint8_t* q = texelAddress(odd.levels, 4, wrap, 5, 3, u, v, 0);
                        EXPECT_EQ(wordAt(q), odd.at(0, refWrap(x, 5, wrap), refWrap(y, 3, wrap)));
                    }
                    const uint8_t* four[4];
                    texelAddresses4(t.levels, 4, wrap, 8, 4, u, v, level, four);
                    const int32_t xs = u >> (16 + l), ys = v >> (16 + l);
                    EXPECT_EQ(wordAt(four[2]), t.at(l, refWrap(xs + 1, w, wrap), refWrap(ys + 1, h, wrap)));
                    EXPECT_EQ(wordAt(four[3]), t.at(l, refWrap(xs, w, wrap), refWrap(ys + 1, h, wrap)));
                }
    // The documented cases: clamp at -3.0 reads column 0; repeat of 9.0 on
    // eight columns reads column 1; mirror reads column 6.
    EXPECT_EQ(wordAt(texelAddress(t.levels, 4, kWrapClamp, 8, 4, -0x30000, 0, 0)), t.at(0, 0, 0));
    EXPECT_EQ(wordAt(texelAddress(t.levels, 4, kWrapRepeat, 8, 4, 0x90000, 0, 0)), t.at(0, 1, 0));
    EXPECT_EQ(wordAt(texelAddress(t.levels, 4, kWrapMirror, 8, 4, 0x90000, 0, 0)), t.at(0, 6, 0));
}

TEST(TexelFetch, TexelsWidenToSixteenBitChannels)
{
    struct Case {
        RSBFormat format;
        uint8_t bytes[16];
        uint32_t argb[4];
    };
    const uint32_t palette[256] = {0x11223344, 0x80FF0000};
    const Case cases[] = {
        {R5G6B5, {0xFF, 0xFF}, {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}},
        {R5G6B5, {0x00, 0x00}, {0xFFFF, 0, 0, 0}},
        {R5G6B5, {0x00, 0x07}, {0xFFFF, 0, 0xE3E3, 0}},  // green widened as every conversion widens it
        {A1R5G5B5, {0x00, 0x7C}, {0, 0xFFFF, 0, 0}},
        {A1R5G5B5, {0x1F, 0x80}, {0xFFFF, 0, 0, 0xFFFF}},
        {A4R4G4B4, {0x21, 0x43}, {0x4444, 0x3333, 0x2222, 0x1111}},
        {X14R6G6B6, {0x41, 0x20, 0x00, 0x00}, {0xFFFF, 0x0A0A, 0x0505, 0x0505}},
        {R8G8B8, {0x01, 0x02, 0x03}, {0xFFFF, 0x0303, 0x0202, 0x0101}},
        {X8R8G8B8, {0x01, 0x02, 0x03, 0x00}, {0xFFFF, 0x0303, 0x0202, 0x0101}},
        {A8R8G8B8, {0x01, 0x02, 0x03, 0x04}, {0x0404, 0x0303, 0x0202, 0x0101}},
        {ArgbFixed, {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}, {1, 2, 3, 0xFFFFFFFF}},
        {RgbaFixed, {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0}, {4, 1, 2, 3}},
        {P8X8R8G8B8, {0}, {0xFFFF, 0x2222, 0x3333, 0x4444}},
        {P8A8R8G8B8, {1}, {0x8080, 0xFFFF, 0, 0}},
        {L8, {0x40}, {0, 0, 0, 0}},  // the rasterizer does not sample it
    };
    for (const Case& c : cases) {
        uint32_t out[4] = {9, 9, 9, 9};
        fetchTexel(c.bytes, c.format, out, palette);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(out[i], c.argb[i]) << formatName(c.format) << " channel " << i;
    }
    uint32_t out[4] = {9, 9, 9, 9};
    const uint8_t index = 1;
    fetchTexel(&index, P8A8R8G8B8, out, nullptr);  // no palette: nothing to look up
    EXPECT_EQ(out[0] | out[1] | out[2] | out[3], 0u);
}

// Sampler reference: the filter rules applied with plain loops over channels.
void refBilinear(const Texture& t, Fixed u, Fixed v, int level, int64_t scale, int shift, int64_t acc[4])
{
    const Fixed uu = u - 0x8000, vv = v - 0x8000;
    const int32_t fx = (uu >> (8 + level)) & 255, fy = (vv >> (8 + level)) & 255;
    const int32_t w = std::max(int32_t(t.width >> level), 1), h = std::max(int32_t(t.height >> level), 1);
    const int32_t x = uu >> (16 + level), y = vv >> (16 + level);
    const int32_t xs[4] = {x, x + 1, x + 1, x}, ys[4] = {y, y, y + 1, y + 1};
    const int32_t weights[4] = {(255 - fy) * (255 - fx) >> 8, (255 - fy) * fx >> 8, fy * fx >> 8,
                                (255 - fx) * fy >> 8};
    for (int k = 0; k < 4; ++k) {
        const uint32_t texel = t.at(level, refWrap(xs[k], w, kWrapRepeat), refWrap(ys[k], h, kWrapRepeat));
        const uint32_t ch[4] = {(texel >> 24) * 257, (texel >> 16 & 255) * 257, (texel >> 8 & 255) * 257,
                                (texel & 255) * 257};
        for (int i = 0; i < 4; ++i)
            acc[i] += (ch[i] * weights[k] * scale) >> shift;
    }
}

TEST(TexelFetch, SamplerFilterModesMatchTheReference)
{
    const Texture t(8, 8, 4);
    for (Fixed u : {0x0, 0x18000, 0x2C400, 0x7F000, -0x9000})
        for (Fixed v : {0x0, 0x31234, 0x54321})
            for (Fixed lod : {-0x8000, 0x0, 0x10000, 0x18080, 0x2C000, 0x35000, 0x90000}) {
                const int32_t level = std::clamp(lod >> 16, 0, 3);
                const int32_t level2 = std::min(level + 1, 3);
                const int32_t f = (lod >> 8) & 255;
                for (int32_t mode = 0; mode <= 8; ++mode) {
                    uint32_t out[4] = {7, 7, 7, 7};
                    sampleTexture(t.unit(mode, kWrapRepeat), u, v, lod, out);
                    int64_t acc[4] = {};
                    int32_t m = mode == 3 ? (lod <= 0x10000 ? 4 : 1) : mode;
                    uint32_t want[4];
                    auto nearest = [&](int l, int64_t weight, int shift) {
                        const int32_t w = std::max(8 >> l, 1);
                        const uint32_t texel =
                            t.at(l, refWrap(u >> (16 + l), w, kWrapRepeat), refWrap(v >> (16 + l), w, kWrapRepeat));
                        const uint32_t ch[4] = {(texel >> 24) * 257, (texel >> 16 & 255) * 257,
                                                (texel >> 8 & 255) * 257, (texel & 255) * 257};
                        for (int i = 0; i < 4; ++i) acc[i] += (ch[i] * weight) >> shift;
                    };
                    switch (m) {
                    case 0: nearest(0, 1, 0); break;
                    case 1: nearest(level, 1, 0); break;
                    case 2: nearest(level, 255 - f, 8), nearest(level2, f, 8); break;
                    case 4: refBilinear(t, u, v, 0, 1, 8, acc); break;
                    case 5: refBilinear(t, u, v, level, 1, 8, acc); break;
                    case 6:
                        refBilinear(t, u, v, level, 255 - f, 16, acc);
                        refBilinear(t, u, v, level2, f, 16, acc);
                        break;
                    case 7:
                        refBilinear(t, u, v, level, 255 - f, 16, acc);
                        for (int64_t& a : acc) a += f >> 2;
                        break;
                    default:
                        for (int64_t& a : acc) a = 7;  // modes above 7 change nothing
                    }
                    for (int i = 0; i < 4; ++i) want[i] = static_cast<uint32_t>(acc[i]);
                    for (int i = 0; i < 4; ++i)
                        EXPECT_EQ(out[i], want[i]) << "mode " << mode << " u " << u << " v " << v << " lod " << lod;
                }
            }
}

TEST(TexelFetch, FormatTablesAndChannelHelpers)
{
    struct Case {
        RSBFormat code;
        int32_t index, position;
    };
    const Case cases[] = {{0x021302, 0, 0},  {0x045402, 1, 1},  {0x065402, 2, 2},  {0x081304, 3, 3},
                          {0x090303, 5, 4},  {0x0B0304, 6, 5},  {0x0C4404, 7, 6},  {0x348301, 8, 7},
                          {0x35C401, 9, 8},  {0x1E4410, 10, 9}, {0x280101, 12, 10}, {0x2B4202, 13, 11},
                          {0x520104, 14, 12}, {0x011302, -1, -1}, {0, -1, -1}};
    for (const Case& c : cases) {
        EXPECT_EQ(formatIndex(c.code), c.index) << std::hex << c.code;
        EXPECT_EQ(formatTablePosition(c.code), c.position);
        if (c.position >= 0) {
            EXPECT_EQ(formatTableCode(c.position), static_cast<int32_t>(c.code));
        }
    }
    EXPECT_EQ(formatTableCode(13), -1);
    EXPECT_EQ(formatTableCode(-1), -1);
    uint32_t colour[4];
    setColor16(colour, 0x12, 0xFF, 0x00, 0x80);
    EXPECT_EQ(colour[0], 0x8080u);
    EXPECT_EQ(colour[1], 0x1212u);
    EXPECT_EQ(colour[2], 0xFFFFu);
    EXPECT_EQ(colour[3], 0u);
    char text[40];
    formatDebugFixed(text, sizeof text, "lod", 0x18000);
    EXPECT_STREQ(text, "lod 18000 1.500");
    formatDebugInt(text, sizeof text, "n", -3);
    EXPECT_STREQ(text, "n -3");
}

}  // namespace
