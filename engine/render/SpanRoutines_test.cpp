// The span routines against float models of what they compute: Gouraud
// colour, texture functions, fog and blending within a level of the 5/6-bit
// output, the alpha scale and threshold exactly, and a perspective
// checkerboard whose lines stay straight (also kept as a golden picture);
// the fast textured routines against the general one, exactly.
#include "engine/render/SpanRoutines.h"

#include <cmath>
#include <functional>
#include <random>

#include <gtest/gtest.h>

#include "engine/render/testing/RasterTestKit.h"

namespace {

struct Rgb {
    double r, g, b;
};

// Channels of an RGB565 pixel on the 0..1 scale the routines unpack to.
Rgb unpack(uint16_t p) { return {(p >> 11) / 32.0, ((p >> 5) & 63) / 64.0, (p & 31) / 32.0}; }

// Packing truncates (below one level) and each 8-bit shift on the way loses
// at most an eighth of a 5-bit level.
constexpr double kLevelTolerance = 1.25;

// Differences in output levels between a pixel and a model colour.
double levelError(uint16_t p, const Rgb& model)
{
    const Rgb c = unpack(p);
    auto clamp = [](double v) { return std::clamp(v, 0.0, 1.0); };
    return std::max({std::abs(c.r - clamp(model.r)) * 32, std::abs(c.g - clamp(model.g)) * 64,
                     std::abs(c.b - clamp(model.b)) * 32});
}

TEST(SpanRoutines, ShadedColoursFollowTheVertexColours)
{
    // Opaque Gouraud, then the same triangle alpha-blended over grey.
    for (int32_t blended = 0; blended < 2; ++blended) {
        const uint16_t grey = 0x8410;
        RasterTarget target(64, 48, grey);
        CkwRasterizerStandard r;
        target.bind(r);
        r.setCompositingMode(compositing(blended ? kBlendAlpha : kBlendReplace, true, !blended));
        const double px[3] = {2.3, 60.6, 20.1}, py[3] = {1.2, 10.4, 46.8};
        const Rgb colour[3] = {{1, 0, 0.2}, {0.1, 0.9, 0.4}, {0.3, 0.5, 1}};
        const double alpha[3] = {255, 40, 160};
        SkwRasterVertex v[3];
        for (int32_t i = 0; i < 3; ++i)
            v[i] = rasterVertex(px[i], py[i], 0x100000, colour[i].r, colour[i].g, colour[i].b,
                                static_cast<uint8_t>(alpha[i]));
        drawEitherWinding(r, v[0], v[1], v[2]);
        EXPECT_EQ(r.lastSpanFamily(), blended ? SpanFamily::BlendAlpha : SpanFamily::Shaded);
        const double det = (px[1] - px[0]) * (py[2] - py[0]) - (px[2] - px[0]) * (py[1] - py[0]);
        int32_t inside = 0;
        for (int32_t y = 0; y < 48; ++y)
            for (int32_t x = 0; x < 64; ++x) {
                const double w1 = ((x - px[0]) * (py[2] - py[0]) - (px[2] - px[0]) * (y - py[0])) / det;
                const double w2 = ((px[1] - px[0]) * (y - py[0]) - (x - px[0]) * (py[1] - py[0])) / det;
                const double w0 = 1 - w1 - w2;
                // Pixels on the rim may go either way.
                if (std::min({w0, w1, w2}) < 0.02)
                    continue;
                ++inside;
                auto mix = [&](double a, double b, double c) { return w0 * a + w1 * b + w2 * c; };
                Rgb model = {mix(colour[0].r, colour[1].r, colour[2].r), mix(colour[0].g, colour[1].g, colour[2].g),
                             mix(colour[0].b, colour[1].b, colour[2].b)};
                if (blended) {
                    const double a = mix(alpha[0], alpha[1], alpha[2]) / 255;
                    const Rgb d = unpack(grey);
                    model = {d.r + (model.r - d.r) * a, d.g + (model.g - d.g) * a, d.b + (model.b - d.b) * a};
                }
                ASSERT_LE(levelError(target.at(x, y), model), kLevelTolerance) << blended << " at " << x << "," << y;
            }
        EXPECT_GT(inside, 800);
    }
}

TEST(SpanRoutines, TextureFunctionsFogAndBlendingFollowTheirFormulas)
{
    struct Case {
        int32_t function, format, blending;
        uint8_t fog;
    };
    const Case cases[] = {
        {kFuncReplace, kRasterFormatRgb, kBlendReplace, 0},
        {kFuncModulate, kRasterFormatRgba, kBlendReplace, 0},
        {kFuncAdd, kRasterFormatRgb, kBlendReplace, 0},
        {kFuncBlend, kRasterFormatRgb, kBlendReplace, 0},
        {kFuncDecal, kRasterFormatRgba, kBlendReplace, 0},
        {kFuncModulate, kRasterFormatAlpha, kBlendAlpha, 0},
        {kFuncModulate, kRasterFormatRgba, kBlendAlpha, 0},
        {kFuncReplace, kRasterFormatRgba, kBlendAlphaAdd, 0},
        {kFuncModulate, kRasterFormatRgb, kBlendModulate, 0},
        {kFuncModulate, kRasterFormatRgb, kBlendModulateX2, 0},
        {kFuncModulate, kRasterFormatRgb, kBlendReplace, 100},
        {kFuncDecal, kRasterFormatRgba, kBlendAlpha, 200},
    };
    const uint16_t texel = rgb565(200, 120, 48);
    const uint8_t texelAlpha = 150;
    const Rgb frag = {0.7, 0.3, 0.9}, blendColour = {0x20 / 256.0, 0xA0 / 256.0, 0xF0 / 256.0};
    const Rgb fogColour = {0x80 / 256.0, 0x40 / 256.0, 0x10 / 256.0};
    const uint32_t fogWord = 0x804010;
    const double fragAlpha = 180 / 255.0;
    const uint16_t dest = rgb565(60, 200, 100);
    for (const Case& c : cases) {
        SkwRasterImage image{c.format, 1, 1, &texel, c.format == kRasterFormatRgb ? nullptr : &texelAlpha, nullptr};
        SkwRasterTextureSource source;
        source.image = &image;
        source.function = c.function;
        source.blendColor = 0x20A0F0;
        RasterTarget target(8, 4, dest);
        CkwRasterizerStandard r;
        target.bind(r, false);
        r.setCompositingMode(compositing(c.blending, false, false));
        r.setTexture(0, &source, kPolygonDefaultBits);
        r.setFog(c.fog ? &fogWord : nullptr);
        SkwRasterVertex v[3] = {rasterVertex(-1, -1, 0, frag.r, frag.g, frag.b, 180),
                                rasterVertex(-1, 20, 0, frag.r, frag.g, frag.b, 180),
                                rasterVertex(20, -1, 0, frag.r, frag.g, frag.b, 180)};
        for (SkwRasterVertex& vertex : v)
            vertex.fog = c.fog;
        drawEitherWinding(r, v[0], v[1], v[2]);

        // The model, in real numbers.
        const Rgb t = c.format == kRasterFormatAlpha ? frag : unpack(texel);
        const bool hasColour = c.format != kRasterFormatAlpha;
        const bool hasAlpha = c.format != kRasterFormatRgb;
        const double at = hasAlpha ? texelAlpha / 255.0 : 1.0;
        std::function<double(double, double, double)> fn = [&](double, double ct, double) { return ct; };
        double a = fragAlpha;
        switch (c.function) {
        case kFuncAdd:
            fn = [](double cf, double ct, double) { return std::min(cf + ct, 1.0); };
            a = fragAlpha * at;
            break;
        case kFuncBlend:
            fn = [&](double cf, double ct, double cb) { return cf + (cb - cf) * ct; };
            a = fragAlpha * at;
            break;
        case kFuncDecal:
            fn = [&](double cf, double ct, double) { return cf + (ct - cf) * at; };
            break;
        case kFuncModulate:
            fn = [](double cf, double ct, double) { return cf * ct; };
            a = fragAlpha * at;
            break;
        default:
            a = hasAlpha ? at : fragAlpha;
        }
        Rgb s = frag;
        if (hasColour)
            s = {fn(frag.r, t.r, blendColour.r), fn(frag.g, t.g, blendColour.g), fn(frag.b, t.b, blendColour.b)};
        const double f = c.fog / 255.0;
        s = {s.r + (fogColour.r - s.r) * f, s.g + (fogColour.g - s.g) * f, s.b + (fogColour.b - s.b) * f};
        const Rgb d = unpack(dest);
        auto blend = [&](double sc, double dc) {
            switch (c.blending) {
            case kBlendAlpha: return dc + (sc - dc) * a;
            case kBlendAlphaAdd: return dc + sc * a;
            case kBlendModulate: return dc * sc;
            case kBlendModulateX2: return 2 * dc * sc;
            default: return sc;
            }
        };
        const Rgb model = {blend(s.r, d.r), blend(s.g, d.g), blend(s.b, d.b)};
        for (int32_t y = 0; y < 4; ++y)
            for (int32_t x = 0; x < 8; ++x)
                ASSERT_LE(levelError(target.at(x, y), model), kLevelTolerance)
                    << "function " << c.function << " format " << c.format << " blending " << c.blending << " fog "
                    << int(c.fog) << " at " << x << "," << y;
    }
}

// The fast textured routines against the general one, pixel for pixel and
// depth for depth, on random affine spans of 1 to 240 pixels: colours in and
// out of range (some clamped, some flat), alpha below, across and above
// opaque and the threshold, depth near both ends and wrapping, coordinates
// wrapping many times, textures from 1 x 1 to 1024 x 128.
TEST(SpanRoutines, FastTexturedSpansEqualTheGeneralRoutine)
{
    struct Config {
        SpanFamily family;
        int32_t flags;  // beyond textured, affine, colour write and depth test
        int32_t log2W, log2H;
        float threshold;
    };
    const int32_t clamp = kRasterClampColors, write = kRasterDepthWrite;
    const Config configs[] = {
        {SpanFamily::TexBlendAlpha, write | clamp, 6, 6, 0},   {SpanFamily::TexBlendAlpha, write, 6, 6, 0.3f},
        {SpanFamily::TexBlendAlpha, 0, 8, 8, 0},               {SpanFamily::TexBlendAlpha, clamp, 1, 0, 0.5f},
        {SpanFamily::TexBlendAlpha, write, 0, 0, 0},           {SpanFamily::TexBlendAlpha, write | clamp, 10, 7, 0},
        {SpanFamily::TexModulate, write, 6, 6, 0},             {SpanFamily::TexModulate, write | clamp, 6, 6, 0},
        {SpanFamily::TexModulate, write, 3, 5, 0.4f},          {SpanFamily::TexModulate, write | clamp, 10, 7, 0.2f},
        {SpanFamily::TexReplace, write, 6, 6, 0},              {SpanFamily::TexReplace, write, 10, 7, 0},
    };
    std::mt19937 rng(43);
    auto between = [&](int64_t lo, int64_t hi) {
        return static_cast<int32_t>(std::uniform_int_distribution<int64_t>(lo, hi)(rng));
    };
    // Mostly values a triangle gives, now and then ones past either end.
    auto ramp = [&](int32_t lo, int32_t hi, int32_t n, int32_t& v, int32_t& d) {
        const int32_t past = (hi - lo) / 4;
        const int32_t end = rng() % 8 ? between(lo, hi) : between(lo - past, hi + past);
        v = rng() % 8 ? between(lo, hi) : between(lo - past, hi + past);
        d = n > 1 ? (end - v) / (n - 1) : between(-past, past);
    };
    const int32_t W = 240;
    for (size_t ci = 0; ci < std::size(configs); ++ci) {
        const Config& c = configs[ci];
        std::vector<uint16_t> texels(size_t{1} << (c.log2W + c.log2H));
        for (uint16_t& t : texels)
            t = static_cast<uint16_t>(rng());
        SkwRasterTexture units[2];
        units[0].format = kRasterFormatRgb;
        units[0].function = c.family == SpanFamily::TexReplace ? kFuncReplace : kFuncModulate;
        units[0].log2Width = c.log2W;
        units[0].log2Height = c.log2H;
        units[0].width = 1 << c.log2W;
        units[0].height = 1 << c.log2H;
        units[0].colorData = texels.data();
        SkwSpanSetup fast, general;
        for (SkwSpanSetup* setup : {&fast, &general}) {
            setup->units = units;
            setup->flags = c.flags | kRasterTextured | kRasterAffine | kRasterColorWrite | kRasterDepthTest;
            setup->threshold = static_cast<int32_t>(c.threshold * 256);
            setup->blending = c.family == SpanFamily::TexBlendAlpha ? kBlendAlpha : kBlendReplace;
        }
        const SpanRoutine fastRoutine = selectSpanRoutine(c.family, fast);
        const SpanRoutine generalRoutine = selectSpanRoutine(SpanFamily::TexturedGeneral, general);
        int32_t drawn = 0;
        for (int32_t trial = 0; trial < 1000; ++trial) {
            std::vector<uint16_t> colors[2], depths[2];
            colors[0].resize(W);
            depths[0].resize(W);
            for (int32_t x = 0; x < W; ++x) {
                colors[0][x] = static_cast<uint16_t>(rng());
                depths[0][x] = static_cast<uint16_t>(rng() % 4 ? rng() : 0xFFFF);
            }
            colors[1] = colors[0];
            depths[1] = depths[0];
            const std::vector<uint16_t> before = colors[0];
            SkwSpan span{};
            const int32_t n = rng() % 3 ? between(1, 9) : between(10, W);
            span.left = between(0, W - n);
            span.right = span.left + n;
            const bool bright = c.flags & clamp;
            ramp(0, bright ? 0x12000 : 0xFFFF, n, span.r, span.drdx);
            ramp(0, bright ? 0x200000 : 0xFFFF, n, span.g, span.dgdx);
            ramp(0, bright ? 0x12000 : 0xFFFF, n, span.b, span.dbdx);
            // Unshaded triangles: one colour all along; now and then a channel alone.
            const bool unshaded = rng() % 4 == 0;
            for (int32_t* step : {&span.drdx, &span.dgdx, &span.dbdx}) {
                if (unshaded || rng() % 8 == 0)
                    *step = 0;
            }
            ramp(0, 0xFFFF, n, span.a, span.dadx);
            // The replace routine is chosen only where no alpha can fail the test.
            if (rng() % 4 == 0 || c.family == SpanFamily::TexReplace) {
                span.a = between(0xFF00, 0x10000);
                span.dadx = 0;
            }
            ramp(0, 0x0FFFFFFF, n, span.z, span.dzdx);
            if (rng() % 16 == 0) {
                span.z = INT32_MAX - between(0, 0x100000);
                span.dzdx = between(0, 0x10000);
            }
            for (int32_t* coordinate : {&span.unit[0].s, &span.unit[0].t})
                *coordinate = between(-(1 << 30), 1 << 30);
            span.unit[0].dsdx = between(-(1 << 22), 1 << 22);
            span.unit[0].dtdx = between(-(1 << 22), 1 << 22);
            for (int32_t i = 0; i < 2; ++i) {
                span.colorRow = colors[i].data();
                span.depthRow = depths[i].data();
                (i == 0 ? fastRoutine : generalRoutine)(i == 0 ? fast : general, span);
            }
            ASSERT_EQ(colors[0], colors[1]) << "config " << ci << " trial " << trial << " n " << n;
            ASSERT_EQ(depths[0], depths[1]) << "config " << ci << " trial " << trial << " n " << n;
            drawn += colors[0] != before;
        }
        EXPECT_GT(drawn, 100) << ci;
    }
}

// Spans whose colours, alpha, fog and coordinates run past either end of 32
// bits, as the gradients of slivers can make them, are drawn with defined
// arithmetic in every routine, texture function and blending (the sanitizer
// build checks) and write their own pixels only.
TEST(SpanRoutines, RampsPastThirtyTwoBitsStayDefinedAndInsideTheSpan)
{
    std::vector<uint16_t> texels(64 * 64);
    std::vector<uint8_t> alphas(texels.size());
    for (size_t i = 0; i < texels.size(); ++i) {
        texels[i] = static_cast<uint16_t>((i * 2654435761u) >> 16);
        alphas[i] = static_cast<uint8_t>(i * 37);
    }
    SkwRasterTexture units[2];
    units[0].format = kRasterFormatRgba;
    units[0].log2Width = units[0].log2Height = 6;
    units[0].width = units[0].height = 64;
    units[0].colorData = texels.data();
    units[0].alphaData = alphas.data();
    units[0].blendRed = units[0].blendGreen = units[0].blendBlue = 0x8000;
    struct Config {
        SpanFamily family;
        int32_t function, blending, flags;
    };
    std::vector<Config> configs = {
        {SpanFamily::Shaded, 0, kBlendReplace, kRasterDepthWrite},
        {SpanFamily::BlendAlpha, 0, kBlendAlpha, 0},
        {SpanFamily::TexModulate, kFuncModulate, kBlendReplace, kRasterDepthWrite},
        {SpanFamily::TexModulate, kFuncModulate, kBlendReplace, kRasterDepthWrite | kRasterClampColors},
        {SpanFamily::TexBlendAlpha, kFuncModulate, kBlendAlpha, kRasterDepthWrite},
        {SpanFamily::TexReplace, kFuncReplace, kBlendReplace, kRasterDepthWrite},
    };
    for (int32_t blending : {kBlendReplace, kBlendAlpha, kBlendAlphaAdd, kBlendModulate, kBlendModulateX2}) {
        configs.push_back({SpanFamily::General, 0, blending, kRasterDepthWrite | kRasterFog});
        for (int32_t function : {kFuncReplace, kFuncModulate, kFuncDecal, kFuncBlend, kFuncAdd})
            configs.push_back({SpanFamily::TexturedGeneral, function, blending, kRasterDepthWrite | kRasterFog});
    }
    constexpr int32_t kW = 80, kLeft = 10, kRight = 70;
    constexpr uint16_t kOutside = 0x1234;
    for (const Config& c : configs) {
        const bool textured = c.family >= SpanFamily::TexturedGeneral;
        units[0].function = c.function;
        SkwSpanSetup setup;
        setup.units = units;
        setup.flags = c.flags | kRasterColorWrite | kRasterDepthTest | (textured ? kRasterTextured | kRasterAffine : 0);
        setup.blending = c.blending;
        setup.fogRed = setup.fogGreen = setup.fogBlue = 0x4000;
        const SpanRoutine routine = selectSpanRoutine(c.family, setup);
        for (int32_t way : {1, -1}) {
            std::vector<uint16_t> color(kW, kOutside), depth(kW, 0xFFFF);
            SkwSpan span{};
            span.left = kLeft;
            span.right = kRight;
            span.colorRow = color.data();
            span.depthRow = depth.data();
            // From a few steps short of one end of 32 bits past it and on.
            const int32_t start = way > 0 ? INT32_MAX - (3 << 27) : INT32_MIN + (3 << 27);
            const int32_t step = way * (1 << 27);
            for (int32_t* v : {&span.r, &span.g, &span.b, &span.a, &span.fog, &span.unit[0].s, &span.unit[0].t})
                *v = start;
            for (int32_t* d : {&span.drdx, &span.dgdx, &span.dbdx, &span.dadx, &span.dfogdx, &span.unit[0].dsdx,
                               &span.unit[0].dtdx})
                *d = step;
            routine(setup, span);
            for (int32_t x = 0; x < kW; ++x) {
                if (x >= kLeft && x < kRight)
                    continue;
                ASSERT_EQ(color[x], kOutside) << static_cast<int>(c.family) << " " << c.function << " " << x;
                ASSERT_EQ(depth[x], 0xFFFF) << static_cast<int>(c.family) << " " << c.function << " " << x;
            }
        }
    }
}

// A 16 x 16 RGBA texture whose texel alpha is its index, one texel a pixel.
TEST(SpanRoutines, TexelAlphaScaleAndThresholdAreExact)
{
    std::vector<uint16_t> colours(256, 0xFFFF);
    std::vector<uint8_t> alphas(256);
    for (int32_t i = 0; i < 256; ++i)
        alphas[i] = static_cast<uint8_t>(i);
    SkwRasterImage image{kRasterFormatRgba, 16, 16, colours.data(), alphas.data(), nullptr};
    SkwRasterTextureSource source;
    source.image = &image;
    source.function = kFuncReplace;
    struct Case {
        float threshold;
        int32_t firstDrawn;  // alpha 128 is 32897 on the 0x10000 scale, 255 is 0x10000
    };
    for (const Case& c : {Case{0.0f, 0}, Case{0.5f, 128}, Case{127.5f / 256, 127}, Case{1.0f, 255}}) {
        for (bool general : {false, true}) {
            RasterTarget target(16, 16);
            CkwRasterizerStandard r;
            target.bind(r);
            r.setCompositingMode(compositing(kBlendReplace, true, true, c.threshold));
            r.setTexture(0, &source, kPolygonDefaultBits);
            r.setGeneralSpansOnly(general);
            const double h = 0.5 / 16;
            auto vertex = [&](double x, double y) {
                SkwRasterVertex v = rasterVertex(x, y);
                v.tex[0].s = static_cast<int32_t>((x / 16 + h) * 65536);
                v.tex[0].t = static_cast<int32_t>((y / 16 + h) * 65536);
                return v;
            };
            drawEitherWinding(r, vertex(0, 0), vertex(0, 16), vertex(16, 0));
            drawEitherWinding(r, vertex(16, 0), vertex(0, 16), vertex(16, 16));
            EXPECT_EQ(r.lastSpanFamily(), general ? SpanFamily::TexturedGeneral : SpanFamily::TexReplace);
            for (int32_t i = 0; i < 256; ++i) {
                ASSERT_EQ(target.color[i], i >= c.firstDrawn ? 0xFFFF : 0)
                    << "threshold " << c.threshold << " general " << general << " alpha " << i;
            }
        }
    }
}

// A floor plane seen in perspective, textured with a 2 x 2 checker repeated
// four times across and eight times into the distance.
TEST(SpanRoutines, PerspectiveCheckerboardKeepsStraightLines)
{
    const uint16_t dark = rgb565(40, 60, 90), light = rgb565(230, 210, 160);
    const uint16_t texels[4] = {dark, light, light, dark};
    SkwRasterImage image{kRasterFormatRgb, 2, 2, texels, nullptr, nullptr};
    const int32_t W = 96, H = 64;
    const double cx = 48, cy = 12, focal = 60, x0 = -2, x1 = 2, z0 = 1.5, z1 = 12;
    const double sPeriods = 4, tPeriods = 8;
    struct Case {
        const char* golden;
        int32_t wrapS;
        double sOffset;  // clamped runs reach past the texture on both sides
    };
    for (const Case& c : {Case{"perspective_checkerboard", kWrapRepeat, 0}, Case{nullptr, kWrapClamp, -1.5}}) {
        SkwRasterTextureSource source;
        source.image = &image;
        source.function = kFuncReplace;
        source.wrapS = c.wrapS;
        RasterTarget target(W, H, 0x0000);
        CkwRasterizerStandard r;
        target.bind(r);
        r.setCompositingMode(compositing(kBlendReplace));
        r.setTexture(0, &source, kPolygonPerspective);
        // Plane y = -1 in eye space; q = 1/z.
        auto vertex = [&](double x, double z) {
            SkwRasterVertex v = rasterVertex(cx + focal * x / z, cy + focal / z, static_cast<int32_t>(z * 0x100000));
            v.tex[0].s = static_cast<int32_t>(((x - x0) / (x1 - x0) * sPeriods + c.sOffset) * 65536);
            v.tex[0].t = static_cast<int32_t>((z - z0) / (z1 - z0) * tPeriods * 65536);
            v.tex[0].q = static_cast<int32_t>(65536 / z);
            return v;
        };
        drawEitherWinding(r, vertex(x0, z0), vertex(x1, z0), vertex(x1, z1));
        drawEitherWinding(r, vertex(x0, z0), vertex(x1, z1), vertex(x0, z1));

        // The exact checker under a screen point, or -1 off the plane.
        auto exact = [&](double sx, double sy) {
            if (sy <= cy)
                return -1;
            const double z = focal / (sy - cy), x = (sx - cx) * z / focal;
            if (z < z0 || z > z1 || x < x0 || x > x1)
                return -1;
            double s = (x - x0) / (x1 - x0) * sPeriods + c.sOffset;
            const double t = (z - z0) / (z1 - z0) * tPeriods;
            if (c.wrapS == kWrapClamp)
                s = std::clamp(s, 0.0, 0.9999);
            const int32_t col = int32_t(std::floor(s * 2)) & 1, row = int32_t(std::floor(t * 2)) & 1;
            return col == row ? 0 : 1;
        };
        int32_t checked = 0;
        for (int32_t y = 0; y < H; ++y)
            for (int32_t x = 0; x < W; ++x) {
                // Only pixels whose whole neighbourhood of 1.5 pixels shows one
                // checker colour are decided: a line may move by less.
                const int32_t centre = exact(x, y);
                bool decided = centre >= 0;
                for (double dy = -1.5; dy <= 1.5 && decided; dy += 0.75)
                    for (double dx = -1.5; dx <= 1.5 && decided; dx += 0.75)
                        decided = exact(x + dx, y + dy) == centre;
                if (!decided)
                    continue;
                ++checked;
                ASSERT_EQ(target.at(x, y), centre ? light : dark) << (c.golden ? "repeat" : "clamp") << " at " << x
                                                                  << "," << y;
            }
        EXPECT_GT(checked, 700);
        if (c.golden) {
            EXPECT_TRUE(matchesGolden(c.golden, target));
        }
    }
}

} // namespace
