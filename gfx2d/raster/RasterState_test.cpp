// Raster state: construction and tables, viewport and clip factors, target
// binding and clears, stacks, span and texture bindings, outcodes.
#include "gfx2d/raster/RasterState.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "gfx2d/raster/RasterMath.h"
#include "gfx2d/raster/SpanRecordWords.h"


namespace {

using namespace PixelFormat;

int32_t spanWord(const RasterState& rs, SpanAddress a)
{
    const uint8_t* p = rs.addressSpace().translate(a, 4);
    int32_t v = 0;
    if (p)
        std::memcpy(&v, p, 4);
    return v;
}

TEST(RasterState, ConstructionAndInitSetEveryDocumentedValue)
{
    auto rs = std::make_unique<RasterState>();
    const RasterStateBlock& s = rs->block();
    for (const TextureUnit& u : s.texture_units) {
        EXPECT_EQ(u.filter_mode, 5);
        EXPECT_EQ(u.texmode, 1);
        EXPECT_EQ(u.boundSlot, -1);
        EXPECT_EQ(u.b.format, 0u);
    }
    EXPECT_EQ(s.matrix2D.count, 1);
    const Fixed identity2D[6] = {0x10000, 0, 0, 0x10000, 0, 0};
    EXPECT_EQ(0, std::memcmp(s.matrix2D.entries[0], identity2D, sizeof identity2D));
    const Fixed identity[13] = {0x10000, 0, 0, 0, 0x10000, 0, 0, 0, 0x10000, 1, 0, 0, 0};
    for (const MatrixStack34* st : {&s.textureStack, &s.secondStack, &s.projectionStack}) {
        EXPECT_EQ(st->count, 1);
        EXPECT_EQ(0, std::memcmp(st->entries[0], identity, sizeof identity));
    }
    EXPECT_EQ(s.spanDriverKind, 1);
    EXPECT_EQ(s.spanDepthInterpolant, -1);
    EXPECT_EQ(rs->tables(), nullptr);

    rs->init(100);
    EXPECT_EQ(s.texture_units[0].filter_mode, 0);
    EXPECT_EQ(s.texture_units[0].texmode, 0);
    EXPECT_EQ(s.texture_units[1].filter_mode, 5);
    EXPECT_EQ(s.stencilMask, 0xFFFFFFFFu);
    EXPECT_EQ(s.recipTableSizeM1, 4095);
    EXPECT_EQ(s.sqrtTableSizeM1, 4095);
    EXPECT_EQ(s.poolCapacity, 2000);
    EXPECT_NE(rs->reservePool(2000), nullptr);
    EXPECT_EQ(rs->reservePool(1), nullptr);
    EXPECT_EQ(s.word34740, 0x400000);
    EXPECT_EQ(s.drawBytes[0], 1);
    EXPECT_EQ(s.drawBytes[1], 1);
    ASSERT_NE(rs->textureStore(), nullptr);

    // The table words are span addresses of the host tables.
    const RasterTables& t = *rs->tables();
    struct Entry {
        SpanAddress table;
        uint32_t index, width;
        int32_t value;
    };
    const Entry entries[] = {
        {s.recipTable4, 3, 4, 357913952}, {s.recipTable, 3, 2, 21845}, {s.recipShiftTable, 3, 1, 16},
        {s.recipTable4, 4095, 4, 262208}, {s.recipTable, 4095, 2, 16388}, {s.recipShiftTable, 4095, 1, 26},
        {s.recipTable, 1, 2, 16384},      {s.recipShiftTable, 1, 1, 14},  {s.sqrtTable, 2, 4, 92681},
        {s.sqrtTable, 4, 4, 131072},      {s.cosTable, 1, 2, 65534},     {s.cosTable, 128, 2, 46340},
        {s.cosTable, 256, 2, 0},          {s.recipTable4, 0, 4, 0},
    };
    for (const Entry& e : entries) {
        const uint8_t* p = rs->addressSpace().translate(e.table + e.index * e.width, e.width);
        ASSERT_NE(p, nullptr);
        int32_t v = 0;
        std::memcpy(&v, p, e.width);
        EXPECT_EQ(v, e.value) << "index " << e.index;
    }
    // Every mantissa over 2^shift is 1/x to the mantissa's precision.
    for (int x = 1; x < 4096; ++x) {
        const double approx = t.recip[x] / std::ldexp(1.0, t.recipShift[x]);
        EXPECT_NEAR(approx * x, 1.0, 1.0 / 16384) << x;
        EXPECT_NEAR(t.sqrt[x] / 65536.0, std::sqrt(x), 1e-3) << x;
    }
    // Past the end of the tables nothing translates.
    EXPECT_EQ(rs->addressSpace().translate(s.sqrtTable + 4096 * 4, 4), nullptr);
    EXPECT_EQ(rs->addressSpace().translate(s.sqrtTable + 4095 * 4, 5), nullptr);
    // The record itself is region 1 at its documented offsets.
    EXPECT_EQ(spanWord(*rs, spanAddress(kSpanRegionState, kRsRecipTableSizeM1)), 4095);
    EXPECT_EQ(spanWord(*rs, spanAddress(kSpanRegionState, kRasterStateSize - 4)), 0x400000);
    EXPECT_EQ(rs->addressSpace().translate(spanAddress(kSpanRegionState, kRasterStateSize - 3), 4), nullptr);
    EXPECT_EQ(rs->addressSpace().translate(0, 1), nullptr);

    const int32_t slot = rs->textureStore()->createEntry(2, 2, L8, 0);
    rs->bindTextureUnit(1, slot);
    rs->init(100);  // a second init replaces the store: the unit lets go of it
    EXPECT_EQ(rs->findTextureUnit(slot), -1);
    EXPECT_EQ(rs->sampler(1).levels[0], nullptr);
    rs->teardown();
    EXPECT_EQ(rs->tables(), nullptr);
    EXPECT_EQ(rs->addressSpace().translate(s.recipTable4, 4), nullptr);
}

TEST(RasterState, ViewportAndClipFactorsFollowTheProjection)
{
    auto rs = std::make_unique<RasterState>();
    rs->init(0);
    RasterStateBlock& s = rs->block();
    rs->setViewport(10, 20, 160, 120, 0, 1 << 20);
    EXPECT_EQ(s.depthrange_f, 0x7FFFFFF);
    rs->setViewport(10, 20, 160, 120, 3, 0xFFFF);
    EXPECT_EQ(s.depthrange_n, 3 << 11);
    EXPECT_EQ(s.depthrange_f, 0xFFFF << 11);
    EXPECT_EQ(s.scissorx1, 170);
    EXPECT_EQ(s.scissory1, 140);

    // Orthographic box against a double reference of the same formulas.
    const double L = -2, R = 2, B = -1.5, T = 1.5, N = 1, F = 9;
    auto fx = [](double v) { return static_cast<Fixed>(std::lround(v * 65536)); };
    rs->setOrtho(fx(L), fx(R), fx(B), fx(T), fx(N), fx(F));
    EXPECT_EQ(stackTop(s.projectionStack)[kMatrixFlagWord], 1);
    rs->computeClipFactors(1);
    const double df = s.depthrange_f / 65536.0, dn = s.depthrange_n / 65536.0;
    EXPECT_NEAR(s.cfx0 / 65536.0, 80 * (1 - (L + R) / (R - L)) + 10, 0.01);
    EXPECT_NEAR(s.cfx1 / 65536.0, 160 / (R - L), 0.01);
    EXPECT_NEAR(s.cfy1 / 65536.0, -120 / (T - B), 0.01);
    EXPECT_NEAR(s.cfy0 / 65536.0, 60 * (1 - (B + T) / (T - B)) + 20 + 120, 0.01);
    EXPECT_NEAR(s.cfz0 / 65536.0, F / (F - N) * df - N * dn / (F - N), 0.05);
    EXPECT_NEAR(s.cfz1 / 65536.0, -(df - dn) / (F - N), 0.05);
    EXPECT_EQ(s.ccx0, fx(L));
    EXPECT_EQ(s.ccy1, fx(T));
    EXPECT_EQ(s.ccz0, -fx(F));
    EXPECT_EQ(s.ccz1, -fx(N));

    // A frustum with top below bottom swaps the y box.
    rs->setFrustum(fx(-1), fx(1), fx(1), fx(-1), fx(2), fx(10));
    EXPECT_EQ(stackTop(s.projectionStack)[kMatrixFlagWord], 0);
    rs->computeClipFactors(1);
    EXPECT_NEAR(s.ccx0 / 65536.0, -0.5, 1e-3);
    EXPECT_NEAR(s.ccx1 / 65536.0, 0.5, 1e-3);
    EXPECT_NEAR(s.ccy0 / 65536.0, -0.5, 1e-3);
    EXPECT_NEAR(s.ccy1 / 65536.0, 0.5, 1e-3);
    EXPECT_NEAR(s.cfx1 / 65536.0, 2.0 * 160 / 2, 0.05);
}

TEST(RasterState, ClearsFillExactlyTheBoundPlanesInEveryFormat)
{
    struct Case {
        RSBFormat format;
        uint8_t pixel[16];
    };
    // Clear colour A 0x80, R 0xF0, G 0x0F, B 0x3C.
    const Case cases[] = {
        {R5G6B5, {0x67, 0xF0}},
        {A1R5G5B5, {0x27, 0xF8}},
        {A4R4G4B4, {0x03, 0x8F}},
        {R4G4B4, {0x03, 0x8F}},
        {A8L8, {0xF0, 0x80}},
        {X14R6G6B6, {0xCF, 0xC0, 0x03, 0}},
        {A8R8G8B8, {0x3C, 0x0F, 0xF0, 0x80}},
        {Z32, {0, 0xF0, 0, 0}},
        {L8, {0xF0}},
        {ArgbFixed, {0, 0x80, 0, 0, 0, 0xF0, 0, 0, 0, 0x0F, 0, 0, 0, 0x3C, 0, 0}},
        {R8G8B8, {0xF0, 0x0F, 0x3C}},
        {I8, {0x55}},  // not cleared
    };
    for (const Case& c : cases) {
        auto rs = std::make_unique<RasterState>();
        rs->init(0);
        RasterStateBlock& s = rs->block();
        ASSERT_EQ(rs->createRenderBuffers(3, 3, c.format), 1);  // odd pixel counts
        TextureStore& store = *rs->textureStore();
        TextureEntry& colour = *store.entry(s.colourSlot);
        std::memset(colour.levels[0], 0x55, colour.bytes);
        RenderTargetView view;
        view.flags = SurfaceFlag::RasterTarget | kTargetColourPlane | kTargetDepthPlane;
        view.colour = {colour.levels[0], static_cast<int32_t>(3 * bytesPerPixel(c.format)),
                       static_cast<uint32_t>(colour.bytes), c.format};
        const TextureEntry& depth = *store.entry(s.depthSlot);
        view.depth = {depth.levels[0], 12, static_cast<uint32_t>(depth.bytes), Z32};
        rs->bindTarget(&view);
        EXPECT_EQ(s.destbase, spanAddress(kSpanRegionColour, 0));
        EXPECT_EQ(s.deststride, static_cast<int32_t>(3 * bytesPerPixel(c.format)));
        s.clearColour[0] = 0x80, s.clearColour[1] = 0xF0, s.clearColour[2] = 0x0F, s.clearColour[3] = 0x3C;
        s.clearDepth = 0x12345678;
        rs->clear();
        const uint32_t bpp = bytesPerPixel(c.format);
        for (uint32_t i = 0; i < 9; ++i)
            EXPECT_EQ(0, std::memcmp(colour.levels[0] + i * bpp, c.pixel, bpp)) << formatName(c.format) << " " << i;
        EXPECT_EQ(reinterpret_cast<const uint32_t*>(depth.levels[0])[8], 0x12345678u);
        // A clear larger than the plane writes nothing at all.
        s.clearColour[1] = 0;
        rs->clearColor(4, 3);
        EXPECT_EQ(0, std::memcmp(colour.levels[0], c.pixel, bpp)) << formatName(c.format);
    }
}

TEST(RasterState, TargetsBindOnlyWithTheirPlanesAndAStencilOfS8)
{
    auto rs = std::make_unique<RasterState>();
    rs->init(0);
    RasterStateBlock& s = rs->block();
    uint8_t colour[64], stencil[16];
    RenderTargetView view;
    view.flags = kTargetColourPlane;  // no plane-use bit: nothing binds
    view.colour = {colour, 16, sizeof colour, A8R8G8B8};
    rs->bindTarget(&view);
    EXPECT_EQ(s.destbase, 0u);
    view.flags |= SurfaceFlag::RasterTarget | kTargetStencilPlane;
    view.stencil = {stencil, 4, sizeof stencil, L8};
    rs->bindTarget(&view);
    EXPECT_EQ(s.destbase, 0u);
    view.stencil.format = S8;
    rs->bindTarget(&view);
    EXPECT_EQ(s.destbase, spanAddress(kSpanRegionColour, 0));
    EXPECT_EQ(s.stencilbase, spanAddress(kSpanRegionStencil, 0));
    EXPECT_EQ(s.zbase, 0u);
    EXPECT_EQ(rs->addressSpace().translate(s.destbase + 60, 4), colour + 60);
    EXPECT_EQ(rs->addressSpace().translate(s.destbase + 61, 4), nullptr);
    s.clearStencil = 0x1A7;
    rs->clearStencil(4, 4);
    EXPECT_EQ(stencil[15], 0xA7);
    // Spans step every plane by the colour plane's rows: other sizes are refused.
    view.colour.width = view.colour.height = view.stencil.width = 4, view.stencil.height = 2;
    EXPECT_FALSE(rs->bindTarget(&view));
    // Rebinding without a colour plane takes the old one out of reach.
    view.flags &= ~kTargetColourPlane;
    rs->beginFrame(&view);
    EXPECT_EQ(s.destbase, 0u);
    EXPECT_EQ(rs->addressSpace().translate(spanAddress(kSpanRegionColour, 0), 1), nullptr);
    rs->bindTarget(nullptr);
    EXPECT_EQ(s.stencilbase, spanAddress(kSpanRegionStencil, 0));

    // A plane or an image past 16 MB maps whole; past a span block, or with a
    // pitch that is no positive 16-bit value, it is refused.
    std::vector<uint32_t> large(2048 * 2049);
    const uint32_t bytes = uint32_t(large.size() * 4);
    auto* last = reinterpret_cast<uint8_t*>(&large.back());
    view.flags = SurfaceFlag::RasterTarget | kTargetColourPlane;
    view.colour = {reinterpret_cast<uint8_t*>(large.data()), 8192, bytes, X8R8G8B8};
    ASSERT_TRUE(rs->bindTarget(&view));
    EXPECT_EQ(rs->addressSpace().writable(s.destbase + 2048 * 8192 + 8188, 4), last);
    ASSERT_TRUE(rs->bindTexturePixels(1, {X8R8G8B8, 2048, 2049, view.colour.pixels, bytes}));
    EXPECT_EQ(rs->addressSpace().translate(s.texture_units[1].b.levels[0] + bytes - 4, 4), last);
    EXPECT_FALSE(rs->bindTexturePixels(1, {X8R8G8B8, 1, 1, view.colour.pixels, uint32_t(kSpanBlockLimit + 1)}));
    EXPECT_EQ(rs->sampler(1).levelCount, 0);
    // Palette formats bind with all 256 colours, for the sampler too, or not at all.
    const uint32_t palette[256] = {0, 0xFF00FF00};
    const auto* colours = reinterpret_cast<const uint8_t*>(palette);
    EXPECT_FALSE(rs->bindTexturePixels(2, {P8X8R8G8B8, 4, 4, colour, 16, colours, 1020}));
    ASSERT_TRUE(rs->bindTexturePixels(2, {P8X8R8G8B8, 4, 4, colour, 16, colours, 1024}));
    EXPECT_EQ(rs->sampler(2).palette, palette);
    const struct {
        int32_t pitch;
        uint32_t bytes;
    } refused[] = {{65536, 64}, {0, 64}, {-8192, 64}, {8192, uint32_t(kSpanBlockLimit + 1)}};
    for (const auto& r : refused) {
        view.colour.pitch = r.pitch, view.colour.bytes = r.bytes;
        EXPECT_FALSE(rs->bindTarget(&view)) << r.pitch << " " << r.bytes;
    }
}

TEST(RasterState, ProjectionPushesComposeAndInvert)
{
    auto rs = std::make_unique<RasterState>();
    rs->init(0);
    RasterStateBlock& s = rs->block();
    Fixed m[13];
    setIdentity34(m);
    rotationZ(*rs->tables(), m, 100);
    m[10] = 0x30000, m[11] = -0x18000, m[12] = 0x8000;
    ASSERT_EQ(rs->pushInverse(m), 1);
    EXPECT_EQ(s.projectionStack.count, 2);
    Fixed p[3] = {0x12345, -0x23456, 0x4000}, q[3], back[3];
    transformPoint(m, p, q);
    transformPoint(stackTop(s.projectionStack), q, back);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(back[i], p[i], 32);
    const Fixed v[3] = {0x10000, 0, 0};
    ASSERT_EQ(rs->pushTransform(nullptr, v), 1);
    EXPECT_EQ(s.projectionStack.count, 3);
    while (rs->pushTransform(nullptr, v)) {
    }
    EXPECT_EQ(s.projectionStack.count, 20);
    EXPECT_EQ(rs->pushInverse(m), 0);
    rs->resetStacks();
    EXPECT_EQ(s.projectionStack.count, 1);
}

TEST(RasterState, SpanAndTextureBindingsCopyWhatTheirSourcesHold)
{
    auto rs = std::make_unique<RasterState>();
    rs->init(0);
    RasterStateBlock& s = rs->block();
    uint8_t record[kSpanRecordBytes] = {};
    auto put = [&](uint32_t w, int32_t v) { std::memcpy(record + 4 * w, &v, 4); };
    put(646, 3), put(647, 9), put(637, 11), put(638, 6), put(640, 0), put(641, 130), put(651, 4);
    rs->bindSpanProgram(record);
    EXPECT_EQ(rs->spanCode(), record + 4);
    EXPECT_EQ(s.spanInterpolantCount, 3);
    EXPECT_EQ(s.spanExtraPrestep, 9);
    EXPECT_EQ(rs->spanBinding().extraPrestep, 9);
    EXPECT_EQ(s.spanBindingWord, 11);
    EXPECT_EQ(s.spanPerspectiveMask, 6);
    EXPECT_EQ(s.spanDepthInterpolant, 2);
    EXPECT_EQ(s.spanDriverKind, 4);
    put(640, -1);
    EXPECT_EQ(spanRecordDepthInterpolant(record), -1);

    TextureStore& store = *rs->textureStore();
    const int32_t slot = store.createEntry(24, 16, A8R8G8B8, 0x1234);
    const int32_t chain = store.createEntry(8, 8, R5G6B5, 0);
    store.buildMipmaps(chain);
    rs->bindTextureUnit(2, slot);
    rs->bindTextureUnit(5, chain);
    const TextureUnit& u = s.texture_units[2];
    EXPECT_EQ(u.width_log2, 0);
    EXPECT_EQ(u.height_log2, 4);
    EXPECT_EQ(u.bpp, 4);
    EXPECT_EQ(u.cpp, 4);
    EXPECT_EQ(u.b.flags, 0x1234u);
    EXPECT_EQ(u.boundSlot, slot);
    EXPECT_EQ(rs->addressSpace().translate(u.b.levels[0] + 24 * 16 * 4 - 4, 4),
              store.entry(slot)->levels[0] + 24 * 16 * 4 - 4);
    const TextureUnit& c = s.texture_units[5];
    EXPECT_EQ(c.b.maxD, 3);
    EXPECT_EQ(rs->addressSpace().translate(c.b.levels[3], 2), store.entry(chain)->levels[3]);
    EXPECT_EQ(rs->sampler(5).levelCount, 4);
    // Levels past the first 16 MB lie in the block's next regions.
    const int32_t large = store.createEntry(1024, 4096, X8R8G8B8, 0);
    store.buildMipmaps(large);
    ASSERT_TRUE(rs->bindTextureUnit(6, large));
    for (int32_t j = 0; j < 3; ++j)
        EXPECT_EQ(rs->addressSpace().translate(s.texture_units[6].b.levels[j], 4), store.entry(large)->levels[j]) << j;
    EXPECT_EQ(rs->findTextureUnit(chain), 5);
    EXPECT_EQ(rs->findTextureUnit(99), -1);
    EXPECT_EQ(rs->findTextureUnit(-1), -1);
    // The accessors of store entries, free and one-byte ones too.
    store.writeTexel(slot, 0, 0, {0x12, 0x34, 0x56, 0x78});
    const int32_t tiny = store.createEntry(1, 1, L8, 0);
    store.writeTexel(tiny, 0, 0, {255, 0x9A, 0, 0});
    EXPECT_EQ(rs->entryPixelWord(slot), 0x12345678u);
    EXPECT_EQ(rs->entryPixelWord(tiny), 0x9Au);
    EXPECT_EQ(rs->entryPixelWord(99), 0u);
    EXPECT_EQ(rs->entryFormat(chain), R5G6B5);
    EXPECT_EQ(rs->entryLevel(chain, 3), store.entry(chain)->levels[3]);
    EXPECT_EQ(rs->entryLevel(chain, kTextureLevelCount), nullptr);
    store.freeEntry(tiny);
    EXPECT_EQ(rs->entryPixelWord(tiny), 0u);
    EXPECT_EQ(rs->entryFormat(-1), 0u);
    rs->unbindTextureUnit(5);
    EXPECT_EQ(rs->findTextureUnit(chain), -1);
    EXPECT_EQ(rs->addressSpace().translate(c.b.levels[0], 1), nullptr);
    EXPECT_EQ(rs->spanCode(), nullptr);
    rs->bindTextureUnit(8, slot);  // there are eight units
    EXPECT_EQ(rs->findTextureUnit(slot), 2);

    // Freeing or resizing a bound entry takes it out of reach, and so does
    // a block that holds fewer bytes where it was.
    EXPECT_EQ(rs->sampler(2).levelCount, 1);
    store.entry(slot)->bytes -= 4;
    EXPECT_EQ(rs->sampler(2).levelCount, 0);
    store.entry(slot)->bytes += 4;
    const SpanAddress old = u.b.levels[0];
    store.resizeEntry(slot, 2, 2);
    EXPECT_EQ(rs->sampler(2).levelCount, 0);
    rs->refreshTextureUnits();
    EXPECT_EQ(rs->findTextureUnit(slot), -1);
    EXPECT_EQ(rs->addressSpace().translate(old, 1), nullptr);
    // An entry whose shape changes in the same memory, or that is made
    // again at the same size (wherever its block lands), is let go too.
    static const uint32_t kColours[512] = {};
    const struct {
        const char* what;
        void (*change)(TextureStore&, int32_t);
    } changes[] = {
        {"rows interleaved in place", [](TextureStore& t, int32_t e) { t.interleaveRows(e); }},
        {"made again turned", [](TextureStore& t, int32_t e) { t.resizeEntry(e, 2, 4); }},
        {"made again in another format", [](TextureStore& t, int32_t e) { t.reformatEntry(e, A8R8G8B8, 2, 2); }},
        {"given other colours", [](TextureStore& t, int32_t e) { t.entry(e)->palette = kColours + 256; }},
    };
    for (const auto& c : changes) {
        const int32_t e = store.createEntry(4, 2, P8X8R8G8B8, 0);
        store.entry(e)->palette = kColours;
        ASSERT_TRUE(rs->bindTextureUnit(1, e));
        c.change(store, e);
        EXPECT_EQ(rs->sampler(1).levelCount, 0) << c.what;
        rs->refreshTextureUnits();
        EXPECT_EQ(rs->findTextureUnit(e), -1) << c.what;
        store.freeEntry(e);
    }
}

TEST(RasterState, OutcodesAndMipLevels)
{
    auto rs = std::make_unique<RasterState>();
    RasterStateBlock& s = rs->block();
    s.ccx0 = -0x10000, s.ccx1 = 0x10000, s.ccy0 = -0x10000, s.ccy1 = 0x10000, s.ccz0 = -0x10000, s.ccz1 = 0x10000;
    struct Case {
        Fixed x, y, z, w, inW;
        uint32_t code3, code2, code2Box;
    };
    const Case cases[] = {
        {0, 0, 0, 0x10000, 0x10000, 0, 0, 0},
        {0x18000, 0, 0, 0x20000, 0x10000, 0, 0, 1},
        {0x30000, -0x30000, 0x20000, 0x20000, 0x10000, 1 | 8 | 16, 1 | 8, 1 | 8},
        {-0x30000, 0x30000, -0x20000, 0x20000, 0x10000, 2 | 4 | 32, 2 | 4, 2 | 4},
        // y - ccy0 overflows 32 bits: the signed compare still says below.
        {0, INT32_MIN, 0, 0x10000, 0x10000, 8, 8, 8},
    };
    for (const Case& c : cases) {
        Fixed v[14] = {0, 0, 0, c.inW, c.x, c.y, c.z, c.w};
        EXPECT_EQ(rs->outcode3D(v), c.code3);
        EXPECT_EQ(static_cast<uint32_t>(v[kVertexOutcode]), c.code3);
        s.viewportMappingMode = 0;
        EXPECT_EQ(rs->outcode2D(v), c.code2);
        s.viewportMappingMode = 1;
        EXPECT_EQ(rs->outcode2D(v), c.code2Box);
    }
    struct Mip {
        Fixed scale, level;
    };
    const Mip mips[] = {{0x7FFF, static_cast<Fixed>(0xFFFF0000)}, {0x8000, 0}, {0xC000, 0x8000},
                        {0x10000, 0x10000}, {0x18000, 0x18000}, {0x40000, 0x30000}, {0x60000, 0x38000}};
    for (const Mip& m : mips)
        EXPECT_EQ(RasterState::mipLevel(m.scale), m.level) << m.scale;
}

}  // namespace
