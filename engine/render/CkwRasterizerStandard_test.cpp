// Triangle set-up and edge walking: coverage and the fill rule, clipping, depth
// order, dithering, the fast span routines against the general ones, sprite
// quads, fills and blits, and the set-up overflows that must not happen.
#include "engine/render/CkwRasterizerStandard.h"

#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include "engine/render/testing/RasterTestKit.h"

namespace {

// Each pixel's count of triangles that wrote it (white on black, no depth).
struct CoverageCounter {
    RasterTarget target;
    std::vector<int32_t> count;
    CkwRasterizerStandard r;
    CoverageCounter(int32_t w, int32_t h) : target(w, h), count(size_t(w) * h, 0)
    {
        r.setCompositingMode(compositing(kBlendReplace, false, false));
    }
    void add(const SkwRasterVertex& a, const SkwRasterVertex& b, const SkwRasterVertex& c)
    {
        std::fill(target.color.begin(), target.color.end(), 0);
        target.bind(r, false);
        drawEitherWinding(r, a, b, c);
        for (size_t i = 0; i < count.size(); ++i)
            count[i] += target.color[i] != 0;
    }
};

TEST(CkwRasterizerStandard, SharedEdgesAreWrittenOnceAndFansHaveNoCracks)
{
    // A square split along either diagonal covers exactly the pixels whose
    // sample point lies inside, each once.
    const double x0 = 3.3, y0 = 2.7, x1 = 40.6, y1 = 30.2;
    for (int32_t diagonal = 0; diagonal < 2; ++diagonal) {
        CoverageCounter c(48, 36);
        const SkwRasterVertex tl = rasterVertex(x0, y0), tr = rasterVertex(x1, y0);
        const SkwRasterVertex bl = rasterVertex(x0, y1), br = rasterVertex(x1, y1);
        if (diagonal == 0) {
            c.add(tl, tr, br);
            c.add(tl, br, bl);
        } else {
            c.add(tl, tr, bl);
            c.add(tr, br, bl);
        }
        for (int32_t y = 0; y < 36; ++y)
            for (int32_t x = 0; x < 48; ++x) {
                const bool inside = x >= std::ceil(x0) && x < std::ceil(x1) && y >= std::ceil(y0) && y < std::ceil(y1);
                ASSERT_EQ(c.count[y * 48 + x], inside ? 1 : 0) << diagonal << " at " << x << "," << y;
            }
    }

    // A fan of 64 thin triangles around an off-grid centre: no pixel twice,
    // none missing inside the rim.
    CoverageCounter fan(96, 80);
    const double cx = 47.37, cy = 39.61, radius = 36.3;
    for (int32_t i = 0; i < 64; ++i) {
        const double a0 = i * 2 * M_PI / 64 + 0.01, a1 = (i + 1) * 2 * M_PI / 64 + 0.01;
        fan.add(rasterVertex(cx, cy), rasterVertex(cx + radius * std::cos(a0), cy + radius * std::sin(a0)),
                rasterVertex(cx + radius * std::cos(a1), cy + radius * std::sin(a1)));
    }
    for (int32_t y = 0; y < 80; ++y)
        for (int32_t x = 0; x < 96; ++x) {
            ASSERT_LE(fan.count[y * 96 + x], 1) << x << "," << y;
            if (std::hypot(x - cx, y - cy) < radius * std::cos(M_PI / 64) - 1) {
                ASSERT_EQ(fan.count[y * 96 + x], 1) << x << "," << y;
            }
        }
}

TEST(CkwRasterizerStandard, TrianglesWithoutCoverageOrUsableInputDrawNothing)
{
    struct Case {
        const char* name;
        SkwRasterVertex a, b, c;
        bool perspective;
    };
    SkwRasterVertex zeroQ = rasterVertex(20, 20);
    zeroQ.tex[0].q = 0;
    SkwRasterVertex negativeQ = rasterVertex(20, 20);
    negativeQ.tex[0].q = -0x10000;
    const Case cases[] = {
        {"one pixel column", rasterVertex(4.2, 1), rasterVertex(4.9, 20), rasterVertex(4.5, 30), false},
        {"within one scanline", rasterVertex(1, 5.1), rasterVertex(30, 5.9), rasterVertex(15, 5.5), false},
        {"reversed winding", rasterVertex(2, 2), rasterVertex(30, 2), rasterVertex(2, 30), false},
        {"collinear", rasterVertex(2, 2), rasterVertex(12, 12), rasterVertex(22, 22), false},
        {"zero perspective weight", rasterVertex(2, 2), zeroQ, rasterVertex(30, 4), true},
        {"negative perspective weight", rasterVertex(2, 2), negativeQ, rasterVertex(30, 4), true},
        {"beyond the coordinate range", rasterVertex(2, 2), rasterVertex(-20000, 30), rasterVertex(30, 4), false},
    };
    const uint16_t texel = 0xFFFF;
    SkwRasterImage image{kRasterFormatRgb, 1, 1, &texel, nullptr, nullptr};
    SkwRasterTextureSource source;
    source.image = &image;
    source.function = kFuncReplace;
    for (const Case& c : cases) {
        RasterTarget target(32, 32);
        CkwRasterizerStandard r;
        target.bind(r);
        r.setCompositingMode(compositing(kBlendReplace));
        r.setTexture(0, c.perspective ? &source : nullptr, kPolygonPerspective);
        SkwRasterVertex a = c.a, b = c.b, v = c.c;
        r.drawTriangle(&a, &b, &v);
        EXPECT_EQ(std::count(target.color.begin(), target.color.end(), 0), 32 * 32) << c.name;
        EXPECT_EQ(std::count(target.depth.begin(), target.depth.end(), 0xFFFF), 32 * 32) << c.name;
    }
}

// An edge with dy of 1/8 pixel and dx of 301 pixels: its slope product
// needs more than 32 bits.
TEST(CkwRasterizerStandard, NearlyHorizontalLongEdgesKeepTheirSlope)
{
    RasterTarget target(320, 24);
    CkwRasterizerStandard r;
    target.bind(r, false);
    r.setCompositingMode(compositing(kBlendReplace, false, false));
    drawEitherWinding(r, rasterVertex(10, 4.9375), rasterVertex(311, 5.0625), rasterVertex(10, 20));
    // At y = 5 the long edge is halfway: x = 160.5.
    for (int32_t x = 0; x < 320; ++x)
        ASSERT_EQ(target.at(x, 5) != 0, x >= 10 && x < 161) << x;
    for (int32_t y = 6; y < 20; ++y) {
        const double xr = 311 + (10 - 311) * (y - 5.0625) / (20 - 5.0625);
        EXPECT_NE(target.at(10, y), 0) << y;
        EXPECT_NEAR(std::count_if(&target.color[y * 320], &target.color[y * 320 + 320], [](uint16_t p) { return p; }),
                    std::ceil(xr) - 10, 1)
            << y;
    }
}

TEST(CkwRasterizerStandard, EqualDepthPassesAndNearerStays)
{
    for (bool shaded : {false, true}) {
        RasterTarget target(16, 16);
        CkwRasterizerStandard r;
        target.bind(r);
        r.setCompositingMode(compositing(kBlendReplace));
        const int32_t z = 0x4560000;
        auto draw = [&](int32_t depth, double red, double green) {
            SkwRasterVertex a = rasterVertex(0, 0, depth, red, green, 0), b = rasterVertex(0, 16, depth, red, green, 0),
                            c = rasterVertex(16, 0, depth, red, green, 0, shaded ? 200 : 255);
            drawEitherWinding(r, a, b, c);
            EXPECT_EQ(r.lastSpanFamily(), shaded ? SpanFamily::Shaded : SpanFamily::Flat);
        };
        draw(z, 1, 0);
        draw(z, 0, 1);           // same depth: drawn
        draw(z + 0x1000, 1, 1);  // one step farther: hidden
        EXPECT_EQ(target.at(2, 2), 0x07E0);
        EXPECT_EQ(target.depthAt(2, 2), z >> 12);
    }
}

TEST(CkwRasterizerStandard, FlatAndShadedTrianglesShareTheDitherPattern)
{
    // 0x7A00 sits between 5-bit levels 15 and 16 (15.25 of 31) and 6-bit levels.
    const int32_t grey = 0x7A00;
    const int32_t offsets[4] = {1, 3, 2, 0};  // (x & 1) + (y & 1) x 2
    auto expected = [&](int32_t x, int32_t y) {
        const int32_t d = offsets[(x & 1) + (y & 1) * 2];
        return uint16_t(((grey >> 9) + d) >> 2 << 11 | ((grey >> 8) + d) >> 2 << 5 | ((grey >> 9) + d) >> 2);
    };
    for (int32_t variant = 0; variant < 3; ++variant) {
        RasterTarget target(12, 12);
        CkwRasterizerStandard r;
        target.bind(r);
        r.setCompositingMode(compositing(kBlendReplace));
        r.setGeneralSpansOnly(variant == 2);
        const double g = grey / 65536.0;
        // Alpha that varies makes the triangle shaded while its colour stays.
        const uint8_t alpha = variant == 1 ? 100 : 255;
        SkwRasterVertex a = rasterVertex(-1, -1, 0x100000, g, g, g), b = rasterVertex(-1, 30, 0x100000, g, g, g),
                        c = rasterVertex(30, -1, 0x100000, g, g, g, alpha);
        drawEitherWinding(r, a, b, c);
        for (int32_t y = 0; y < 12; ++y)
            for (int32_t x = 0; x < 12; ++x)
                ASSERT_EQ(target.at(x, y), expected(x, y)) << variant << " at " << x << "," << y;
    }
    EXPECT_NE(expected(0, 0), expected(1, 0));
}

TEST(CkwRasterizerStandard, WhollyFoggedTexturedTrianglesTakeTheFogColourUntextured)
{
    const uint16_t texel = 0xFFFF;
    SkwRasterImage image{kRasterFormatRgb, 1, 1, &texel, nullptr, nullptr};
    SkwRasterTextureSource source;
    source.image = &image;
    const uint32_t fog = 0x804010;
    RasterTarget target(8, 8);
    CkwRasterizerStandard r;
    target.bind(r);
    r.setCompositingMode(compositing(kBlendReplace));
    r.setTexture(0, &source, kPolygonDefaultBits);
    r.setFog(&fog);
    SkwRasterVertex v[3] = {rasterVertex(0, 0), rasterVertex(0, 8), rasterVertex(8, 0)};
    for (SkwRasterVertex& vertex : v)
        vertex.fog = 255;
    r.drawTriangle(&v[0], &v[1], &v[2]);
    EXPECT_EQ(r.lastSpanFamily(), SpanFamily::Flat);
    // Dithered 0x8000, 0x4000, 0x1000 land on 16, 16, 2 at every offset; the
    // textured path would have truncated to red 15.
    EXPECT_EQ(target.at(1, 1), 16 << 11 | 16 << 5 | 2);
    EXPECT_EQ(v[0].r, 0x8000);
}

// A texture of 2^n x 2^m random texels, direct or palette, with or without alpha.
struct TestTexture {
    std::vector<uint16_t> colors;
    std::vector<uint8_t> alphas, indices;
    SkwRasterImage image;
    TestTexture(std::mt19937& rng, int32_t w, int32_t h, int32_t format, bool palette)
    {
        const size_t texels = size_t(w) * h;
        colors.resize(palette ? 256 : texels);
        for (uint16_t& c : colors)
            c = static_cast<uint16_t>(rng());
        if (format == kRasterFormatRgba) {
            alphas.resize(colors.size());
            for (uint8_t& a : alphas)
                a = static_cast<uint8_t>(rng() % 4 == 0 ? 255 : rng());
        }
        if (palette) {
            indices.resize(texels);
            for (uint8_t& i : indices)
                i = static_cast<uint8_t>(rng());
        }
        image = {format, w, h, colors.data(), alphas.empty() ? nullptr : alphas.data(),
                 indices.empty() ? nullptr : indices.data()};
    }
};

TEST(CkwRasterizerStandard, FastSpansEqualTheGeneralOnesOnRandomTriangles)
{
    struct Config {
        SpanFamily family;
        int32_t blending;
        bool depthWrite;
        float threshold;
        int32_t format;  // 0: untextured
        int32_t function;
        bool palette, perspective, flat, white;
        double brightest;  // the vertex colours' upper limit
    };
    const Config configs[] = {
        {SpanFamily::Shaded, kBlendReplace, true, 0, 0, 0, false, false, false, false, 1.0},
        {SpanFamily::Flat, kBlendReplace, true, 0, 0, 0, false, false, true, false, 1.0},
        {SpanFamily::BlendAlpha, kBlendAlpha, false, 0, 0, 0, false, false, false, false, 1.0},
        {SpanFamily::TexReplace, kBlendReplace, true, 0, kRasterFormatRgb, kFuncReplace, false, false, false, false, 1.0},
        {SpanFamily::TexReplace, kBlendReplace, true, 0.4f, kRasterFormatRgba, kFuncReplace, true, true, false, false, 1.0},
        // An RGB texel's alpha is the vertex's: tested by the general routine.
        {SpanFamily::TexturedGeneral, kBlendReplace, true, 0.4f, kRasterFormatRgb, kFuncReplace, false, false, false, false, 1.0},
        {SpanFamily::TexReplace, kBlendReplace, true, 0.3f, kRasterFormatRgba, kFuncModulate, false, true, true, true, 1.0},
        {SpanFamily::TexModulate, kBlendReplace, true, 0, kRasterFormatRgb, kFuncModulate, false, false, false, false, 1.0},
        {SpanFamily::TexModulate, kBlendReplace, true, 0.25f, kRasterFormatRgba, kFuncModulate, true, true, false, false, 1.0},
        {SpanFamily::TexModulate, kBlendReplace, true, 0, kRasterFormatRgb, kFuncModulate, false, true, false, false, 1.6},
        {SpanFamily::TexBlendAlpha, kBlendAlpha, false, 0, kRasterFormatRgba, kFuncModulate, false, false, false, false, 1.0},
        {SpanFamily::TexBlendAlpha, kBlendAlpha, false, 0.2f, kRasterFormatRgba, kFuncModulate, true, true, false, false, 1.6},
        {SpanFamily::TexBlendAlpha, kBlendAlpha, false, 0, kRasterFormatRgb, kFuncModulate, false, false, false, false, 1.6},
        {SpanFamily::TexBlendAlpha, kBlendAlpha, false, 0.3f, kRasterFormatRgb, kFuncModulate, true, true, false, false, 1.0},
        {SpanFamily::TexBlendAlpha, kBlendAlpha, true, 0.3f, kRasterFormatRgb, kFuncModulate, false, true, false, false, 1.0},
        {SpanFamily::TexBlendAlpha, kBlendAlpha, true, 0.2f, kRasterFormatRgba, kFuncModulate, true, false, false, false, 1.6},
        {SpanFamily::TexBlendAlpha, kBlendAlpha, false, 0, kRasterFormatRgb, kFuncModulate, false, true, false, false, 40},
        {SpanFamily::TexBlendAlpha, kBlendAlpha, true, 0.1f, kRasterFormatRgba, kFuncModulate, false, false, false, false, 40},
    };
    std::mt19937 rng(2024);
    auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    const int32_t W = 64, H = 48;
    int32_t configIndex = 0;
    for (const Config& config : configs) {
        TestTexture texture(rng, 16, 8, config.format ? config.format : kRasterFormatRgb, config.palette);
        SkwRasterTextureSource source;
        source.image = &texture.image;
        source.function = config.function;
        int32_t drawnPixels = 0;
        for (int32_t trial = 0; trial < 150; ++trial) {
            SkwRasterVertex v[3];
            const double base = uniform(0.1, 0.9);
            for (SkwRasterVertex& vertex : v) {
                vertex = rasterVertex(uniform(-20, W + 20), uniform(-20, H + 20),
                                      static_cast<int32_t>(uniform(0, 0x0FFFFFFF)), uniform(0, config.brightest),
                                      uniform(0, config.brightest), uniform(0, config.brightest),
                                      static_cast<uint8_t>(rng() % 4 == 0 ? 255 : rng()));
                if (config.flat) {
                    vertex.r = vertex.g = vertex.b = static_cast<int32_t>(base * 65536);
                    vertex.alpha = 200;
                }
                if (config.white) {
                    vertex.r = vertex.g = vertex.b = 0x10000;
                    vertex.alpha = 255;
                }
                vertex.tex[0].s = static_cast<int32_t>(uniform(-3, 3) * 65536);
                vertex.tex[0].t = static_cast<int32_t>(uniform(-3, 3) * 65536);
                vertex.tex[0].q = static_cast<int32_t>(uniform(0.05, 1) * 65536);
            }
            if (config.format == kRasterFormatRgba && config.function == kFuncReplace)
                for (SkwRasterVertex& vertex : v)
                    vertex.alpha = 255;
            RasterTarget fast(W, H), general(W, H);
            for (size_t i = 0; i < fast.color.size(); ++i) {
                fast.color[i] = general.color[i] = static_cast<uint16_t>(rng());
                fast.depth[i] = general.depth[i] = static_cast<uint16_t>(rng());
            }
            const std::vector<uint16_t> before = fast.color;
            for (RasterTarget* target : {&fast, &general}) {
                CkwRasterizerStandard r;
                target->bind(r);
                r.setCompositingMode(compositing(config.blending, true, config.depthWrite, config.threshold));
                if (config.format)
                    r.setTexture(0, &source, config.perspective ? kPolygonPerspective : kPolygonDefaultBits);
                r.setGeneralSpansOnly(target == &general);
                SkwRasterVertex a = v[0], b = v[1], c = v[2];
                drawEitherWinding(r, a, b, c);
                if (target == &fast && r.lastSpanFamily() != SpanFamily::General &&
                    r.lastSpanFamily() != SpanFamily::TexturedGeneral) {
                    ASSERT_EQ(r.lastSpanFamily(), config.family) << configIndex;
                }
            }
            for (size_t i = 0; i < fast.color.size(); ++i) {
                ASSERT_EQ(fast.color[i], general.color[i])
                    << "config " << configIndex << " trial " << trial << " pixel " << i % W << "," << i / W;
                ASSERT_EQ(fast.depth[i], general.depth[i]) << configIndex << " trial " << trial;
            }
            for (size_t i = 0; i < before.size(); ++i)
                drawnPixels += before[i] != fast.color[i];
        }
        EXPECT_GT(drawnPixels, 0) << configIndex;
        ++configIndex;
    }
}

TEST(CkwRasterizerStandard, FarOffTrianglesEqualTheCropOfALargerTarget)
{
    // The small target sees the big one's window at (2072, 1600), across the
    // triangle's right edge. Affine texture steps are truncated from the left
    // end of each span, so a one-texel image keeps the texture out of the
    // comparison; colour, depth and fog are exact.
    const int32_t ox = 2072, oy = 1600, BW = 2112, BH = 1664, W = 40, H = 24;
    const uint16_t texel = 0xC618;
    SkwRasterImage image{kRasterFormatRgb, 1, 1, &texel, nullptr, nullptr};
    SkwRasterTextureSource source;
    source.image = &image;
    for (int32_t textured = 0; textured < 2; ++textured) {
        const uint32_t fogColor = 0x3080C0;
        auto draw = [&](RasterTarget& target, double dx, double dy) {
            CkwRasterizerStandard r;
            target.bind(r);
            r.setCompositingMode(compositing(kBlendReplace));
            if (textured) {
                r.setTexture(0, &source, kPolygonDefaultBits);
                r.setFog(&fogColor);
            }
            SkwRasterVertex a = rasterVertex(30 + dx, 40 + dy, 0x100000, 1, 0.2, 0.5, 255);
            SkwRasterVertex b = rasterVertex(2100.3 + dx, 1650.6 + dy, 0x0FF00000, 0.1, 0.9, 0.3, 255);
            SkwRasterVertex c = rasterVertex(2090.7 + dx, 20.2 + dy, 0x08000000, 0.5, 0.5, 1.0, 255);
            a.fog = 10, b.fog = 240, c.fog = 120;
            a.tex[0].s = 0, b.tex[0].s = 90 << 16, c.tex[0].s = 60 << 16;
            a.tex[0].t = 0, b.tex[0].t = 70 << 16, c.tex[0].t = 3 << 16;
            drawEitherWinding(r, a, b, c);
        };
        RasterTarget big(BW, BH), small(W, H);
        draw(big, 0, 0);
        draw(small, -ox, -oy);
        int32_t covered = 0;
        for (int32_t y = 0; y < H; ++y)
            for (int32_t x = 0; x < W; ++x) {
                ASSERT_EQ(small.at(x, y), big.at(x + ox, y + oy)) << textured << " at " << x << "," << y;
                ASSERT_EQ(small.depthAt(x, y), big.depthAt(x + ox, y + oy)) << textured << " at " << x << "," << y;
                covered += small.depthAt(x, y) != 0xFFFF;
            }
        EXPECT_GT(covered, W * H / 4);
        EXPECT_LT(covered, W * H);
    }
}

TEST(CkwRasterizerStandard, PolygonOffsetMovesDepthByWholeSteps)
{
    struct Case {
        float units, factor;
        int32_t z;
        int32_t depth;
    };
    const Case cases[] = {
        {2.0f, 0, 0x1234000, 0x1236},
        {-1.0f, 0, 0x1234000, 0x1233},
        {7.0f, 0, 0x1234800, 0x123B},
        // The offset cannot carry depth past the far or near end.
        {7.0f, 0, 0x0FFFF000, 0xFFFF},
        {-7.0f, 0, 0x2000, 0},
        // A flat triangle has no slope: the factor adds nothing.
        {0, 3.0f, 0x1234000, 0x1234},
    };
    for (const Case& c : cases) {
        RasterTarget target(8, 8, 0, 0xFFFF);
        CkwRasterizerStandard r;
        target.bind(r);
        SkwRasterCompositing mode = compositing(kBlendReplace, false, true);
        mode.depthOffsetUnits = c.units;
        mode.depthOffsetFactor = c.factor;
        r.setCompositingMode(mode);
        drawEitherWinding(r, rasterVertex(0, 0, c.z), rasterVertex(0, 8, c.z), rasterVertex(8, 0, c.z));
        EXPECT_EQ(target.depthAt(1, 1), c.depth) << c.units;
    }
}

// ---------------------------------------------------------------------------
// Sprite quads, fills and blits.

struct PaletteSprite {
    std::vector<uint16_t> palette = std::vector<uint16_t>(256);
    std::vector<uint8_t> alphas = std::vector<uint8_t>(256, 255);
    std::vector<uint8_t> indices;
    SkwRasterImage image;
    // The same texels as a plain RGBA image, which the quad fast path declines.
    std::vector<uint16_t> texelColours;
    std::vector<uint8_t> texelAlphas;
    SkwRasterImage plain;
    PaletteSprite(int32_t w, int32_t h) : indices(size_t(w) * h)
    {
        for (int32_t i = 0; i < 256; ++i)
            palette[i] = static_cast<uint16_t>(0x1000 + i);
        for (size_t i = 0; i < indices.size(); ++i)
            indices[i] = static_cast<uint8_t>(i + 1);
        alphas[3] = 0;  // texel 2 is transparent
        image = {kRasterFormatRgba, w, h, palette.data(), alphas.data(), indices.data()};
        for (uint8_t index : indices) {
            texelColours.push_back(palette[index]);
            texelAlphas.push_back(alphas[index]);
        }
        plain = {kRasterFormatRgba, w, h, texelColours.data(), texelAlphas.data(), nullptr};
    }
};

TEST(CkwRasterizerStandard, SpriteQuadsCopyMirrorScaleAndStayInsideTheImage)
{
    PaletteSprite sprite(8, 4);
    struct Case {
        const char* name;
        bool scaled;
        double s0, s1;  // texture s at the left and right edge
        int32_t w, h;
        // expected texel column for destination column i (row j maps to j * rows / h)
        int32_t (*column)(int32_t i);
        bool plain = false;    // a plain image, so two triangles, each held to the quad's texels
        double t0 = 0, t1 = 1;  // texture t at the top and bottom edge
    };
    const Case cases[] = {
        {"unscaled", false, 0, 1, 8, 4, [](int32_t i) { return i; }},
        {"mirrored", false, 7.5 / 8, -0.5 / 8, 8, 4, [](int32_t i) { return 7 - i; }},
        {"scaled twice", true, 0, 1, 16, 8, [](int32_t i) { return i / 2; }},
        // Columns past the image read its last column, not past the row.
        {"reads past the edge", false, 0.5, 1.5, 8, 4, [](int32_t i) { return std::min(4 + i, 7); }},
        // Slivers below 8 pixels squared, texel centres as sprites place them.
        {"plain, mirrored 2x2", false, 7.5 / 8, 5.5 / 8, 2, 2, [](int32_t i) { return 7 - i; }, true, 0.5 / 4, 2.5 / 4},
        {"plain, 1x3", false, 2.5 / 8, 3.5 / 8, 1, 3, [](int32_t) { return 2; }, true, 0.5 / 4, 3.5 / 4},
        {"plain, 2x1", false, 6.5 / 8, 8.5 / 8, 2, 1, [](int32_t i) { return 6 + i; }, true, 0.5 / 4, 1.5 / 4},
    };
    for (const Case& c : cases) {
        RasterTarget target(32, 24, 0x0001);
        CkwRasterizerStandard r;
        target.bind(r, false);
        r.setCompositingMode(compositing(kBlendReplace, false, false, 0.5f));
        r.setBlitImage(c.plain ? &sprite.plain : &sprite.image, kFuncReplace);
        const double x = 5, y = 3;
        SkwRasterVertex a = rasterVertex(x, y), b = rasterVertex(x, y + c.h), cc = rasterVertex(x + c.w, y),
                        d = rasterVertex(x + c.w, y + c.h);
        a.tex[0].s = b.tex[0].s = static_cast<int32_t>(c.s0 * 65536);
        cc.tex[0].s = d.tex[0].s = static_cast<int32_t>(c.s1 * 65536);
        a.tex[0].t = cc.tex[0].t = static_cast<int32_t>(c.t0 * 65536);
        b.tex[0].t = d.tex[0].t = static_cast<int32_t>(c.t1 * 65536);
        r.drawQuad(c.scaled, &a, &b, &cc, &d);
        for (int32_t j = 0; j < 24; ++j)
            for (int32_t i = 0; i < 32; ++i) {
                uint16_t expected = 0x0001;
                if (i >= 5 && i < 5 + c.w && j >= 3 && j < 3 + c.h) {
                    const int32_t texel = (c.plain ? j - 3 : (j - 3) * 4 / c.h) * 8 + c.column(i - 5);
                    if (texel + 1 != 3)
                        expected = static_cast<uint16_t>(0x1000 + texel + 1);
                }
                ASSERT_EQ(target.at(i, j), expected) << c.name << " at " << i << "," << j;
            }
    }

    // Declined quads (alpha below 255, or reaching outside the target) are the
    // two triangles (a, b, c) and (c, b, d).
    for (double x : {5.0, -3.0}) {
        RasterTarget quad(16, 12), triangles(16, 12);
        for (RasterTarget* target : {&quad, &triangles}) {
            CkwRasterizerStandard r;
            target->bind(r, false);
            r.setCompositingMode(compositing(kBlendReplace, false, false));
            r.setBlitImage(&sprite.image, kFuncReplace);
            SkwRasterVertex a = rasterVertex(x, 2, 0x100000, 1, 1, 1, x < 0 ? 255 : 200),
                            b = rasterVertex(x, 6, 0x100000, 1, 1, 1, 200), c = rasterVertex(x + 8, 2),
                            d = rasterVertex(x + 8, 6);
            b.tex[0].t = d.tex[0].t = c.tex[0].s = d.tex[0].s = 0x10000;
            if (target == &quad) {
                r.drawQuad(false, &a, &b, &c, &d);
            } else {
                r.drawTriangle(&a, &b, &c);
                r.drawTriangle(&c, &b, &d);
            }
        }
        EXPECT_EQ(quad.color, triangles.color) << x;
        EXPECT_GT(std::count(quad.color.begin(), quad.color.end(), 0), 0);
    }
}

TEST(CkwRasterizerStandard, FillsAndBlitsAreClippedAndReadInsideTheImage)
{
    PaletteSprite sprite(4, 2);
    struct Case {
        const char* name;
        bool blit;
        int32_t x, y, w, h, s0, t0;
        int32_t left, top, right, bottom;  // expected covered rectangle
    };
    const Case cases[] = {
        {"fill inside", false, 2, 1, 3, 2, 0, 0, 2, 1, 5, 3},
        {"fill from negative x", false, -2, 1, 5, 2, 0, 0, 0, 1, 3, 3},
        {"fill past the right", false, 6, -1, 10, 3, 0, 0, 6, 0, 10, 2},
        {"fill wholly left", false, -5, 0, 5, 2, 0, 0, 0, 0, 0, 0},
        {"blit inside", true, 1, 1, 6, 3, 0, 0, 1, 1, 7, 4},
        {"blit from beyond the image", true, 0, 0, 10, 8, 9 << 16, 5 << 16, 0, 0, 10, 8},
    };
    for (const Case& c : cases) {
        RasterTarget target(10, 8, 0x0001);
        CkwRasterizerStandard r;
        target.bind(r, false, true);
        r.setBlitImage(&sprite.image, kFuncReplace);
        if (c.blit)
            r.blitImage(c.x, c.y, c.w, c.h, c.s0, c.t0, 0x10000, 0x10000);
        else
            r.fillRect(c.x, c.y, c.w, c.h, 0xABCD, 0x7F);
        for (int32_t j = 0; j < 8; ++j)
            for (int32_t i = 0; i < 10; ++i) {
                const bool inside = i >= c.left && i < c.right && j >= c.top && j < c.bottom;
                uint16_t expected = inside ? 0xABCD : 0x0001;
                uint8_t alpha = inside ? 0x7F : 0;
                if (inside && c.blit) {
                    // One wrap per step against the image size; starts beyond
                    // it read the last row and column until they wrap.
                    int64_t s = c.s0, t = c.t0;
                    for (int32_t k = c.left; k < i; ++k)
                        if ((s += 0x10000) >= 4 << 16)
                            s -= 4 << 16;
                    for (int32_t k = c.top; k < j; ++k)
                        if ((t += 0x10000) >= 2 << 16)
                            t -= 2 << 16;
                    const int32_t texel = int32_t(std::min<int64_t>(t >> 16, 1) * 4 + std::min<int64_t>(s >> 16, 3));
                    expected = static_cast<uint16_t>(0x1000 + texel + 1);
                    alpha = sprite.alphas[texel + 1];
                }
                ASSERT_EQ(target.at(i, j), expected) << c.name << " at " << i << "," << j;
                ASSERT_EQ(target.alpha[j * 10 + i], alpha) << c.name << " at " << i << "," << j;
            }
    }
}

} // namespace

// A sliver whose depth gradient steps z past the int32 range inside a span:
// the fast and the general routines keep their arithmetic defined and agree.
TEST(CkwRasterizerStandard, SliverDepthGradientsStayDefined)
{
    std::vector<uint16_t> depths[2];
    for (bool general : {false, true}) {
        RasterTarget target(160, 540);
        CkwRasterizerStandard r;
        target.bind(r);
        r.setGeneralSpansOnly(general);
        r.setCompositingMode(compositing(kBlendReplace));
        drawEitherWinding(r, rasterVertex(28.94, 44.63, 7178043, 1, 0, 0),
                          rasterVertex(23.25, 19.13, 151839402, 0, 1, 0),
                          rasterVertex(134.81, 520.06, 232463788, 0, 0, 1));
        depths[general] = target.depth;
    }
    EXPECT_EQ(depths[0], depths[1]);
}
