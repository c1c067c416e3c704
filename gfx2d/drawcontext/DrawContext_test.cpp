#include "gfx2d/drawcontext/DrawContext.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <set>
#include <vector>

#include "gfx2d/drawcontext/testing/DrawScene.h"
#include "gfx2d/image/PixelFormat.h"
#include "gfx2d/raster/RasterState.h"
#include "gfx2d/span/SpanIds.h"
#include "gfx2d/span/SpanProgramSet.h"
#include "tests/support/GoldenImage.h"

namespace {

constexpr int kW = 96, kH = 64;
constexpr uint32_t kKey = 0xFF00FF;
constexpr Fixed kIdentityWords[4] = {kFixedOne, 0, 0, kFixedOne};

// The library started with a kW x kH target and an open context.
struct Scene : DrawScene {
    Scene() : DrawScene(kW, kH) {}
};

// The picture the test expects, drawn pixel by pixel with bounds checks.
struct Canvas {
    std::vector<uint32_t> px = std::vector<uint32_t>(kW * kH, 0);

    static uint32_t blend(uint32_t d, uint32_t s, uint32_t a)
    {
        uint32_t out = 0xFF000000;
        for (int shift : {16, 8, 0})
            out |= ((((d >> shift) & 255) * (255 - a) + ((s >> shift) & 255) * a) >> 8) << shift;
        return out;
    }
    void put(int x, int y, uint32_t c, uint32_t alpha = 255)
    {
        if (x >= 0 && y >= 0 && x < kW && y < kH)
            px[y * kW + x] = alpha == 255 ? (c | 0xFF000000) : blend(px[y * kW + x], c, alpha);
    }
    void fill(int x0, int y0, int x1, int y1, uint32_t argb)
    {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                put(x, y, argb, argb >> 24);
    }
    void frame(int x, int y, int w, int h, int t, uint32_t mask, uint32_t c)
    {
        if (!(mask & 1))
            fill(x, y, x + w, y + t, c);
        if (!(mask & 2))
            fill(x, y + h - t, x + w, y + h, c);
        if (!(mask & 4))
            fill(x, y, x + t, y + h, c);
        if (!(mask & 8))
            fill(x + w - t, y, x + w, y + h, c);
    }
    void image(const std::function<uint32_t(int, int)>& src, int dx, int dy, int sx, int sy, int w, int h,
               bool keyed, uint32_t alpha, bool mirrorX)
    {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint32_t c = src(sx + (mirrorX ? w - 1 - x : x), sy + y);
                if (!(keyed && (c & 0xFFFFFF) == kKey))
                    put(dx + x, dy + y, c, alpha);
            }
    }
};

uint32_t tileColour(int x, int y)
{
    return 0xFF000000 | uint32_t(x * 30) << 16 | uint32_t(y * 40) << 8 | 0x80;
}
uint32_t spriteColour(int x, int y)
{
    const int dx = x - 6, dy = y - 5;
    return dx * dx + dy * dy > 20 ? kKey : 0xFF000000 | uint32_t(200 - 12 * y) << 8 | uint32_t(20 * x);
}

TEST(DrawContext, HudFrameMatchesItsGoldenAndAReference)
{
    Scene s;
    Canvas ref;
    MemorySurface tile, sprite;
    ASSERT_TRUE(makeImage(tile, 8, 6, tileColour));
    ASSERT_TRUE(makeImage(sprite, 12, 10, spriteColour));
    DrawContext& dc = s.dc;

    fillRect(0, 0, kW, kH, 0xFF203040);
    ref.fill(0, 0, kW, kH, 0xFF203040);
    fillRect(4, 4, 40, 20, 0xFFC08020);
    ref.fill(4, 4, 40, 20, 0xFFC08020);
    fillRect(-10, 60, 200, 90, 0xFF102010);  // cut at the left, right and bottom edges
    ref.fill(-10, 60, 200, 90, 0xFF102010);

    const int16_t frames[][4] = {{2, 30, 50, 30}, {60, 2, 30, 20}, {1, 1, 10, 10}, {70, 50, 20, 6}};
    const struct {
        int thickness;
        uint32_t mask, colour;
    } looks[] = {{2, 0, 0xFFFFFFFF}, {3, 2, 0xFF00FF00}, {1, 15, 0xFFFF0000}, {4, 0, 0xFF0000FF}};
    for (int i = 0; i < 4; ++i) {
        drawFrame(frames[i], looks[i].colour, looks[i].thickness, looks[i].mask);
        ref.frame(frames[i][0], frames[i][1], frames[i][2], frames[i][3], looks[i].thickness, looks[i].mask,
                  looks[i].colour);
    }

    tileImage(&tile, 54, 26, 93, 45);
    for (int y = 26; y < 45; y += 6)
        for (int x = 54; x < 93; x += 8)
            ref.image(tileColour, x, y, 0, 0, std::min(8, 93 - x), std::min(6, 45 - y), false, 255, false);

    // Keyed sprites, one mirrored, three cut by the target's edges.
    dc.enable(DrawGroup::ColourKey);
    const struct {
        int x, y;
        uint32_t mirror;
    } sprites[] = {{6, 34, 0}, {20, 34, DrawMirror::X}, {-5, 58, 0}, {90, -4, 0}, {44, -7, DrawMirror::X}};
    for (const auto& p : sprites) {
        dc.pushMatrix();
        dc.translate(p.x << 16, p.y << 16);
        dc.drawImage(&sprite, p.mirror, nullptr);
        dc.popMatrix();
        // A mirrored sprite cut at its top shows its lower rows, not flipped ones.
        ref.image(spriteColour, p.x, p.y, 0, 0, 12, 10, true, 255, p.mirror != 0);
    }
    // Keyed and blended by the colour's alpha; a source rectangle from its middle.
    dc.enable(DrawGroup::Blend);
    dc.setBlendMode(DrawBlend::SourceAlpha);
    dc.setColor(0x80FFFFFF);
    dc.translate(34 << 16, 40 << 16);
    const int16_t part[4] = {2, 1, 8, 8};
    dc.drawImage(&sprite, 0, part);
    dc.loadIdentity();
    ref.image(spriteColour, 34, 40, 2, 1, 8, 8, true, 0x80, false);
    dc.disable(DrawGroup::ColourKey);
    // A shape blends by its own alpha and fillRect keeps the key flag as it was.
    fillRect(30, 8, 70, 16, 0x80FF0000);
    ref.fill(30, 8, 70, 16, 0x80FF0000);
    dc.disable(DrawGroup::Blend);

    const int16_t lines[] = {10, 24, 40, 24, 42, 22, 52, 32, 95, 20, 80, 5};
    dc.setColor(0xFFFFFF00);
    dc.vertexPointer(2, VertexType::S16, 0, lines);
    dc.drawArrays(DrawMode::Lines, 0, 6);
    for (int i = 0; i < 30; ++i)
        ref.put(10 + i, 24, 0xFFFF00);
    for (int i = 0; i < 10; ++i)
        ref.put(42 + i, 22 + i, 0xFFFF00);
    for (int i = 0; i < 15; ++i)
        ref.put(95 - i, 20 - i, 0xFFFF00);

    const uint32_t* px = s.pixels();
    for (int i = 0; i < kW * kH; ++i)
        ASSERT_EQ(px[i], ref.px[i]) << "x " << i % kW << " y " << i / kW;
    EXPECT_TRUE(matchesGolden("gfx2d/drawcontext/testdata/hud_frame.png", px, kW, kH));
}

TEST(DrawContext, StateStacksAndMatricesStayInsideTheirRoom)
{
    Scene s;
    DrawContext& dc = s.dc;
    const Fixed m[4] = {0x10000, 0x2000, -0x3000, 0x20000}, t[2] = {0x50000, -0x8000};
    dc.loadMatrix(m, t);
    const Fixed *om = nullptr, *ot = nullptr;
    dc.getMatrix(&om, &ot);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(om[i], m[i]);
    EXPECT_EQ(ot[0], t[0]);
    EXPECT_EQ(ot[1], t[1]);
    const Fixed* words = s.screen.rasterState()->block().matrix2D.entries[0];
    EXPECT_EQ(words[1], m[2]);  // the caller's order exchanges words 1 and 2

    // 90 degrees is table index 256: x' = -y, y' = x.
    dc.loadIdentity();
    dc.rotate(0x5A0000);
    dc.getMatrix(&om, nullptr);
    EXPECT_EQ(om[0], 0);
    EXPECT_EQ(om[1], 0x10000);
    EXPECT_EQ(om[2], -0x10000);
    EXPECT_EQ(om[3], 0);
    dc.loadIdentity();
    dc.scale(0x20000, 0x8000);
    dc.translate(0x30000, 0x40000);
    dc.getMatrix(&om, &ot);
    EXPECT_EQ(ot[0], 0x60000);
    EXPECT_EQ(ot[1], 0x20000);
    dc.loadIdentity();

    int pushes = 0;
    while (dc.pushMatrix())
        ++pushes;
    EXPECT_EQ(pushes, 19);
    // Tiling with the stack full draws nothing and leaves the caller's matrices.
    MemorySurface tile;
    ASSERT_TRUE(makeImage(tile, 8, 6, tileColour));
    tileImage(&tile, 0, 0, 16, 12);
    EXPECT_EQ(s.screen.rasterState()->block().matrix2D.count, 20);
    while (dc.popMatrix())
        --pushes;
    EXPECT_EQ(pushes, 0);
    // Origins past the 16.16 range wrap as the device's shift did (far off
    // this target), and a rectangle at the top of the range still ends.
    tileImage(&tile, 40000, 0, 40004, 3);
    tileImage(&tile, INT32_MAX - 9, 0, INT32_MAX, 3);
    EXPECT_EQ(s.pixels()[0], 0u);
    for (uint32_t group = 0; group < DrawGroup::Count; ++group) {
        EXPECT_EQ(dc.pushAttributes(group), 1);
        EXPECT_EQ(dc.pushAttributes(group), 1);
        EXPECT_EQ(dc.pushAttributes(group), 0) << group;
        EXPECT_EQ(dc.popAttributes(group), 1);
        EXPECT_EQ(dc.popAttributes(group), 1);
        EXPECT_EQ(dc.popAttributes(group), 0) << group;
    }
    dc.enable(DrawGroup::ColourKey);
    fillRect(0, 0, 2, 2, 0xFF00FF00);
    EXPECT_TRUE(dc.flag(DrawGroup::ColourKey));
    EXPECT_EQ(dc.colour().packed, 0xFF00FF00u);
    dc.disable(DrawGroup::ColourKey);

    // Sixteen polygon vertices are refused before anything is read.
    int16_t many[32] = {};
    dc.vertexPointer(2, VertexType::S16, 0, many);
    dc.drawArrays(DrawMode::Polygon, 0, 16);

    // The clip changes alone while inactive; beginDraw resets it to the target.
    dc.endDraw();
    dc.setClip(10, 10, 5, 5);
    EXPECT_EQ(dc.getClip()->x, 10);
    EXPECT_EQ(dc.effectiveClip().w, kW);
    dc.beginDraw();
    EXPECT_EQ(dc.getClip()->w, kW);
    dc.setClip(90, -4, 20, 10);
    EXPECT_EQ(dc.effectiveClip().x, 90);
    EXPECT_EQ(dc.effectiveClip().y, 0);
    EXPECT_EQ(dc.effectiveClip().w, 6);
    EXPECT_EQ(dc.effectiveClip().h, 6);
    fillRect(0, 0, kW, kH, 0xFF0000FF);
    dc.setClip(0, 0, kW, kH);
    // y grows upwards from the bottom when yDown is not 1.
    dc.setYDown(0);
    fillRect(0, 0, 3, 2, 0xFFFF0000);
    dc.setYDown(1);
    const uint32_t* px = s.pixels();
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const bool clipped = x >= 90 && y < 6, flipped = x < 3 && y >= kH - 2;
            ASSERT_EQ(px[y * kW + x], clipped ? 0xFF0000FFu : flipped ? 0xFFFF0000u : x < 2 && y < 2 ? 0xFF00FF00 : 0u)
                << x << " " << y;
        }
    // A smaller target made current after beginDraw takes only its own
    // pixels, blitted or spanned; no program faults, so the next draws too.
    MemorySurface small;
    ASSERT_TRUE(makeTarget(small, 4, 4));
    fillRect(0, 0, kW, kH, 0xFF00FF00);
    const Fixed sheared[4] = {kFixedOne, 0, 1, kFixedOne}, origin[2] = {};
    dc.loadMatrix(sheared, origin);
    for (MemorySurface* target : {&small, &s.target}) {
        target->makeCurrent();
        dc.drawImage(&tile, 0, nullptr);
    }
    EXPECT_EQ(targetPixels(small)[15], tileColour(3, 3));
    EXPECT_EQ(px[5 * kW + 7], tileColour(7, 5));

    // Nothing is drawn, and nothing overruns, once the context is closed.
    dc.close(0, 0);
    fillRect(0, 0, kW, kH, 0xFFFFFFFF);
    EXPECT_EQ(dc.pushMatrix(), 0);
    EXPECT_EQ(dc.pushAttributes(DrawGroup::Colour), 0);
    EXPECT_EQ(px[kW * kH - 1], 0u);
    MemorySurface empty;
    tileImage(&empty, 0, 0, kW, kH);  // a tile without a size never advances
    dc.open(0, 0);
    const uint32_t before = px[0];
    s.screen.init();  // the state the open context held is gone: nothing draws until it opens again
    fillRect(0, 0, kW, kH, 0xFFFFFFFF);
    EXPECT_EQ(px[0], before);
    EXPECT_EQ(dc.popMatrix() + dc.pushMatrix(), 0);
}

// The span-program path against the blit loops and against references: the
// sets the state picks, custom sets, polygons and a quarter turn are exact;
// a free rotation draws only the picture's own colours.
TEST(DrawContext, SpanPathsMatchTheBlitLoopsAndTheReferences)
{
    Scene s;
    ASSERT_TRUE(s.tableOpen);
    DrawContext& dc = s.dc;
    MemorySurface sprite;
    ASSERT_TRUE(makeImage(sprite, 12, 10, spriteColour));
    auto* px = const_cast<uint32_t*>(s.pixels());
    auto clear = [&] {
        for (int i = 0; i < kW * kH; ++i)
            px[i] = 0xFF000000u | uint32_t(i * 2654435761u >> 8);
    };
    // A shear of 1/65536 leaves every pixel where it was but is no translation.
    const Fixed sheared[4] = {kFixedOne, 0, 1, kFixedOne};
    // 8-bit pictures: one made without its colours draws nothing either way
    // and sets no program aside, so the one with colours draws after it.
    static uint32_t palette[256];
    for (uint32_t i = 0; i < 256; ++i)
        palette[i] = 0xFF000000u | i * 0x030507u;
    MemorySurface indexed[2];
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(makeIndexedImage(indexed[i], 12, 10, i ? palette : nullptr,
                                     [](int x, int y) { return uint8_t(x + y * 12); }));
    const struct {
        bool key, blend;
        uint32_t set;
        MemorySurface* picture;
    } states[] = {{false, false, kSpanSetOpaque, &sprite},    {true, false, kSpanSetKeyed, &sprite},
                  {true, true, kSpanSetKeyedBlend, &sprite},  {false, false, kSpanSetOpaque, &indexed[0]},
                  {false, false, kSpanSetOpaque, &indexed[1]}};
    for (const auto& st : states) {
        st.key ? dc.enable(DrawGroup::ColourKey) : dc.disable(DrawGroup::ColourKey);
        st.blend ? dc.enable(DrawGroup::Blend) : dc.disable(DrawGroup::Blend);
        dc.setBlendMode(DrawBlend::SourceAlpha);
        dc.setColor(0x9CFFFFFF);
        std::vector<uint32_t> results[3];
        for (int way = 0; way < 3; ++way) {
            clear();
            const Fixed t[2] = {10 << 16, 8 << 16};
            dc.loadMatrix(way == 1 ? sheared : kIdentityWords, t);
            dc.setCustomSpans(way == 2);
            dc.setCustomSpanSet(findSpanProgramSet(*s.manager, st.set));
            dc.drawImage(st.picture, DrawMirror::X, nullptr);
            results[way].assign(px, px + kW * kH);
        }
        dc.setCustomSpans(0);
        clear();
        EXPECT_EQ(results[0] != std::vector<uint32_t>(px, px + kW * kH), st.picture != &indexed[0]);
        EXPECT_EQ(results[1], results[0]) << "state picks set " << std::hex << st.set;
        EXPECT_EQ(results[2], results[0]) << "custom set " << std::hex << st.set;
    }
    // The target drawn onto itself through the spans draws what a copy of
    // it draws: no span reads what an earlier one wrote.
    clear();
    MemorySurface copy;
    ASSERT_TRUE(makeImage(copy, kW, kH, [&](int x, int y) { return px[y * kW + x]; }));
    std::vector<uint32_t> selfDrawn[2];
    for (int i = 0; i < 2; ++i) {
        clear();
        const Fixed onePixel[2] = {1 << 16, 0};
        dc.loadMatrix(sheared, onePixel);
        dc.drawImage(i ? &copy : &s.target, 0, nullptr);
        selfDrawn[i].assign(px, px + kW * kH);
    }
    EXPECT_EQ(selfDrawn[0], selfDrawn[1]);
    dc.disable(DrawGroup::ColourKey);
    dc.disable(DrawGroup::Blend);
    dc.loadIdentity();

    // Polygons and sheared rectangles fill what the blit loop fills.
    clear();
    fillRect(5, 7, 30, 19, 0xFF336699);
    const std::vector<uint32_t> filled(px, px + kW * kH);
    clear();
    const int16_t quad[8] = {5, 7, 30, 7, 30, 19, 5, 19};
    dc.setColor(0xFF336699);
    dc.vertexPointer(2, VertexType::S16, 0, quad);
    dc.drawArrays(DrawMode::Polygon, 0, 4);
    EXPECT_EQ(std::vector<uint32_t>(px, px + kW * kH), filled);
    // After the image quads, a chevron still fills as one: its area, 192 pixels.
    clear();
    const int16_t chevron[8] = {20, 2, 36, 27, 20, 14, 4, 27};
    dc.vertexPointer(2, VertexType::S16, 0, chevron);
    dc.drawArrays(DrawMode::Polygon, 0, 4);
    EXPECT_EQ(std::count(px, px + kW * kH, 0xFF336699u), 192);
    clear();
    const Fixed t0[2] = {0, 0};
    dc.loadMatrix(sheared, t0);
    fillRect(5, 7, 30, 19, 0xFF336699);
    EXPECT_EQ(std::vector<uint32_t>(px, px + kW * kH), filled);
    // A transformed line fills its bounding rectangle: one row here.
    const int16_t line[4] = {10, 40, 30, 40};
    dc.setColor(0xFF00C0FF);
    dc.vertexPointer(2, VertexType::S16, 0, line);
    dc.drawArrays(DrawMode::Lines, 0, 2);
    EXPECT_EQ(std::count(px, px + kW * kH, 0xFF00C0FFu), 21);

    // The picture: a quarter turn, a free rotation and a polygon.
    for (int i = 0; i < kW * kH; ++i)
        px[i] = 0xFF202020;
    Canvas ref;
    ref.px.assign(px, px + kW * kH);
    dc.loadIdentity();
    dc.translate(30 << 16, 4 << 16);
    dc.rotate(0x5A0000);
    dc.drawImage(&sprite, 0, nullptr);
    // x' = 30 - y, y' = 4 + x: pixel (X, Y) shows texel (Y - 4, 29 - X).
    for (int y = 4; y < 16; ++y)
        for (int x = 20; x < 30; ++x)
            ref.px[y * kW + x] = spriteColour(y - 4, 29 - x);  // copied as stored
    const std::vector<uint32_t> beforeFree(px, px + kW * kH);
    dc.enable(DrawGroup::ColourKey);
    dc.loadIdentity();
    dc.translate(60 << 16, 20 << 16);
    dc.rotate(0x1E0000);
    dc.scale(0x28000, 0x28000);
    dc.drawImage(&sprite, 0, nullptr);
    dc.disable(DrawGroup::ColourKey);
    std::set<uint32_t> colours;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 12; ++x)
            colours.insert(spriteColour(x, y) | 0xFF000000);
    int changed = 0;
    for (int i = 0; i < kW * kH; ++i) {
        if (px[i] == beforeFree[i])
            continue;
        ++changed;
        ASSERT_TRUE(colours.count(px[i])) << i % kW << " " << i / kW;
        ASSERT_GE(i % kW, 32) << "the free rotation stays right of the quarter turn";
        ref.px[i] = px[i];
    }
    EXPECT_GT(changed, 200);
    dc.loadIdentity();
    const int16_t triangle[6] = {4, 60, 20, 30, 40, 60};
    dc.setColor(0xFFE0C000);
    dc.vertexPointer(2, VertexType::S16, 0, triangle);
    dc.drawArrays(DrawMode::Polygon, 0, 3);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            // Pixel centres inside the triangle (its edges are never exactly on one).
            const double cx = x + 0.5, cy = y + 0.5;
            const bool inside = cy < 60 && (cy - 30) * 16 >= -(cx - 20) * 30 && (cy - 30) * 20 >= (cx - 20) * 30;
            if (inside)
                ref.put(x, y, 0xE0C000);
        }
    for (int i = 0; i < kW * kH; ++i)
        ASSERT_EQ(px[i], ref.px[i]) << "x " << i % kW << " y " << i / kW;
    EXPECT_TRUE(matchesGolden("gfx2d/drawcontext/testdata/span_paths.png", px, kW, kH));

    // A target whose colour plane the raster state does not bind draws nothing.
    MemorySurface plain;
    const SurfaceAttribute list[] = {{SurfaceKey::Width, 8}, {SurfaceKey::Height, 8}, {SurfaceKey::End, 0}};
    ASSERT_EQ(plain.init(list), 1);
    plain.makeCurrent();
    dc.rotate(0x5A0000);
    dc.drawImage(&sprite, 0, nullptr);
    dc.drawArrays(DrawMode::Polygon, 0, 3);
    for (int i = 0; i < 64; ++i)
        ASSERT_EQ(targetPixels(plain)[i], 0u);
    // A picture taller than 16 bits reach: as target, whole image and span source past row 32,767.
    MemorySurface tall;
    ASSERT_TRUE(makeImage(tall, 2, 40000, [](int, int y) { return 0xFF000000u | uint32_t(y); }));
    tall.makeCurrent();
    dc.loadIdentity();
    dc.setClip(0, 0, 2, 2);
    fillRect(0, 0, 2, 2, 0xFF123456);
    s.target.makeCurrent();
    dc.drawImage(&tall, 0, nullptr);
    EXPECT_EQ(px[kW], 0xFF123456u);
    const int16_t lowRows[4] = {0, 32760, 2, 10};
    dc.loadMatrix(sheared, t0);
    dc.drawImage(&tall, 0, lowRows);
    EXPECT_EQ(px[kW], 0xFF000000u | 32761);
    // Sheared, the tall picture's rows pass the 16.16 range from row 10 on,
    // and a shape's far corner passes it from column 10 on: neither wraps
    // round across the target. The picture's first rows land in place, and
    // the shape draws the columns it covers, as it does ending inside.
    dc.setClip(0, 0, kW, kH);
    clear();
    std::vector<uint32_t> expected(px, px + kW * kH);
    for (int y = 10; y < kH; ++y)
        expected[y * kW + 3] = expected[y * kW + 4] = y < 12 ? 0xFF123456u : 0xFF000000u | uint32_t(y - 10);
    const Fixed rowTen[2] = {3 << 16, 10 << 16}, columnTen[2] = {10 << 16, 0};
    dc.loadMatrix(sheared, rowTen);
    dc.drawImage(&tall, 0, nullptr);
    EXPECT_EQ(std::vector<uint32_t>(px, px + kW * kH), expected);
    dc.setColor(0xFF5080C0);
    for (const uint32_t mode : {DrawMode::Lines, DrawMode::Polygon, DrawMode::Rectangles})
        for (const int16_t end : {200, 32767}) {
            clear();
            const int16_t corners[8] = {0, 12, end, 12, end, 16, 0, 16};
            dc.loadMatrix(sheared, columnTen);
            dc.vertexPointer(2, VertexType::S16, mode == DrawMode::Rectangles ? 8 : 4, corners);
            dc.drawArrays(mode, 0, mode == DrawMode::Polygon ? 4 : 2);
            EXPECT_EQ(std::count(px, px + kW * kH, 0xFF5080C0u), (kW - 10) * (mode == DrawMode::Lines ? 1 : 4))
                << mode << " " << end;
        }

    // A picture the blit table has no loop for lands where the loop of a
    // paletted one of the same colours puts it: at the translation's whole
    // pixels, y growing either way, and nowhere when it lies past the 16.16
    // range or a source rectangle reaching far left moves it there (the
    // third place). Turned by a hair, it lies nowhere there either.
    MemorySurface wide, paletted, screen565;
    const auto index = [](int x, int y) { return uint8_t(x + 7 * y); };
    ASSERT_TRUE(makeImage(wide, 7, 5, [&](int x, int y) { return palette[index(x, y)]; }));
    ASSERT_TRUE(makeIndexedImage(paletted, 7, 5, palette, index));
    ASSERT_TRUE(makeTarget(screen565, 13, 11, PixelFormat::R5G6B5));
    uint8_t* screen = nullptr;
    int32_t screenPitch = 0;
    ASSERT_TRUE(screen565.lock(&screen, &screenPitch, 0, nullptr));
    screen565.unlock();
    dc.setClip(0, 0, 13, 11);
    const std::vector<uint8_t> blank(size_t(screenPitch) * 11, 0x3C);
    const int16_t farLeft[4] = {-32760, 0, 32767, 5};
    const Fixed places[][2] = {{(3 << 16) + 0xC000, (2 << 16) + 0x8000}, {-0x4000, 0xFFFF}, {6 << 16, 1 << 16},
                               {32767 << 16, 2 << 16}, {3 << 16, 32765 << 16}, {32767 << 16, 32767 << 16}};
    for (int i = 0; i < 12; ++i) {
        const bool far = i >= 4;
        std::vector<uint8_t> drawn[3];
        for (int way = 0; way < 3; ++way) {
            std::copy(blank.begin(), blank.end(), screen);
            dc.loadMatrix(way == 2 ? sheared : kIdentityWords, places[i / 2]);
            dc.setYDown(i % 2);
            EXPECT_EQ(dc.drawImage(way == 1 ? &paletted : &wide, 0, i / 2 == 2 ? farLeft : nullptr), 1) << i;
            drawn[way].assign(screen, screen + blank.size());
        }
        EXPECT_EQ(drawn[0], drawn[1]) << i;
        EXPECT_EQ(drawn[0] == blank, far) << i;
        EXPECT_TRUE(!far || drawn[2] == blank) << i;
    }
    dc.setYDown(1);
    s.target.makeCurrent();

    // Every source on every target, translated only, in every image state:
    // drawn as a per-pixel reference draws it (a copy plain, keyed, or keyed
    // and blended by the colour's alpha), or refused with the target as it
    // was. A pair the blit table lacks draws through the program that does
    // what its loop would. Every other state draws its rectangle (1, 1, 6, 6)
    // mirrored at (2, -3) with y growing upwards: the blit loops place the
    // rectangle at rows 3 to 8 (6 - y - h) unmirrored, so the part inside the
    // 4 x 3 picture lands at x 7 down to 5 and rows 3 and 4. A rectangle the
    // picture has nothing in reports what the draw does. Turned by a hair,
    // the picture takes the set any turned one takes (the key goes with
    // blend mode 7, blend mode 1 draws nothing), upside down at (2, 1) with
    // y growing upwards.
    using namespace PixelFormat;
    const RSBFormat formats[] = {R4G4B4,    R5G6B5,     A1R5G5B5,   A4R4G4B4,   X14R6G6B6, R8G8B8, X8R8G8B8,
                                 A8R8G8B8,  ArgbFixed,  RgbaFixed,  L8,         A8,        I8,     A8L8,
                                 P8X8R8G8B8, P8A8R8G8B8, Z32,       P4X8R8G8B8, P4A8R8G8B8, S8,    S32};
    palette[7] = kKey;
    dc.setClip(0, 0, kW, kH);
    // Flags key, alpha test and blend, the blend mode, what it copies as
    // (keyed, blended by 0x9C or refused), and turned (0 refused, 1 plain,
    // 2 keyed, 3 keyed and blended).
    const struct {
        bool key, alphaTest, blend;
        uint32_t mode;
        bool keyed, blended, refused;
        int turned;
    } looks[] = {{false, false, false, 2, false, false, false, 1}, {true, false, false, 2, true, false, false, 2},
                 {true, false, true, 0, true, true, false, 3},     {true, false, true, 7, true, false, false, 1},
                 {false, false, true, 1, false, false, false, 0},  {false, false, true, 0, false, false, true, 0},
                 {false, true, false, 2, false, false, true, 0},   {false, false, true, 2, false, false, true, 0}};
    auto setLook = [&](bool key, bool alphaTest, bool blend, uint32_t mode) {
        key ? dc.enable(DrawGroup::ColourKey) : dc.disable(DrawGroup::ColourKey);
        alphaTest ? dc.enable(DrawGroup::AlphaTest) : dc.disable(DrawGroup::AlphaTest);
        blend ? dc.enable(DrawGroup::Blend) : dc.disable(DrawGroup::Blend);
        dc.setBlendMode(mode);
    };
    // c blended over the target's pixel at p with the blit loops' rule.
    auto blendOnto = [](RSBFormat to, uint8_t* p, uint32_t c, uint32_t a) {
        uint32_t d = 0;
        tryPixelToArgb8888(to, p, d);
        const uint32_t out = Canvas::blend(d, c, a);
        convertPixel(A8R8G8B8, &out, to, p);
    };
    // The pairs that draw: the table's four, and X8R8G8B8 onto R5G6B5
    // through the spans; every other pair is refused.
    const std::set<std::pair<RSBFormat, RSBFormat>> drawable = {
        {R5G6B5, R5G6B5}, {X8R8G8B8, X8R8G8B8}, {X8R8G8B8, R5G6B5}, {P8X8R8G8B8, R5G6B5}, {P8X8R8G8B8, X8R8G8B8}};
    for (const RSBFormat from : formats)
        for (const RSBFormat to : formats)
            for (const auto& look : looks) {
                MemorySurface picture, target;
                const SurfaceAttribute list[] = {{1, 4}, {2, 3}, {6, from}, {11, uintptr_t(palette)}, {0, 0}};
                uint8_t *in = nullptr, *out = nullptr;
                int32_t inPitch = 0, outPitch = 0;
                if (!picture.init(list) || !makeTarget(target, 8, 6, to) || !picture.lock(&in, &inPitch, 0, nullptr) ||
                    !target.lock(&out, &outPitch, 0, nullptr))
                    continue;
                const uint32_t bpp = bytesPerPixel(from), tbpp = bytesPerPixel(to);
                for (int i = 0; i < inPitch * 3; ++i)
                    in[i] = uint8_t(from == X8R8G8B8 && i % 4 == 3 ? 0xFF : i * 167 + from);
                // Pixel 1 is the key where the format has one.
                const uint32_t keyPixel = from == R5G6B5 ? 0xF81F : from == X8R8G8B8 ? 0xFFFF00FF : 7;
                std::memcpy(in + bpp, &keyPixel, std::min<uint32_t>(bpp, 4));
                const std::vector<uint8_t> blank(size_t(outPitch) * 6, 0x5A);
                std::copy(blank.begin(), blank.end(), out);
                bool referenced = to == R5G6B5 || to == X8R8G8B8;
                uint32_t colours[12] = {};
                for (int i = 0; i < 12; ++i) {
                    const uint8_t* q = in + (i / 4) * inPitch + (i % 4) * bpp;
                    const bool indexed = (formatFlags(from) & FormatFlagPalette) && bpp;
                    referenced = referenced && (indexed ? (colours[i] = palette[*q], true)
                                                        : tryPixelToArgb8888(from, q, colours[i]));
                }
                const bool cut = (&look - looks) % 2;
                auto reference = [&](bool turned, bool keyed, bool blended) {
                    std::vector<uint8_t> e = blank;
                    for (int i = 0; i < 12 && referenced; ++i) {
                        const int x = turned || !cut ? i % 4 + 2 : 8 - i % 4;
                        const int y = turned ? (cut ? 4 - i / 4 : 1 + i / 4) : i / 4 + (cut ? 2 : 1);
                        uint8_t* p = &e[y * outPitch + x * tbpp];
                        if ((keyed && (colours[i] & 0xFFFFFF) == kKey) || (!turned && cut && (i % 4 == 0 || i < 4)))
                            continue;
                        blended ? blendOnto(to, p, colours[i], 0x9C) : void(convertPixel(A8R8G8B8, &colours[i], to, p));
                    }
                    return e;
                };
                setLook(look.key, look.alphaTest, look.blend, look.mode);
                dc.setColor(0x9CFFFFFF);
                const Fixed t[2] = {2 << 16, (cut ? -3 : 1) << 16}, at[2] = {2 << 16, 1 << 16};
                dc.loadMatrix(kIdentityWords, t);
                const int16_t inside[4] = {1, 1, 6, 6}, outside[4] = {4, 0, 2, 2};
                const int empty = dc.drawImage(&picture, 0, outside);
                dc.setYDown(!cut);
                const int drawn = dc.drawImage(&picture, cut ? DrawMirror::X : 0, cut ? inside : nullptr);
                dc.setYDown(1);
                SCOPED_TRACE(::testing::Message() << std::hex << from << " onto " << to << " look " << &look - looks);
                EXPECT_EQ(drawn, int(drawable.count({from, to}) && !look.refused));
                EXPECT_TRUE(!drawn || referenced);
                EXPECT_EQ(empty, drawn);
                EXPECT_EQ(std::vector<uint8_t>(out, out + blank.size()),
                          drawn ? reference(false, look.keyed, look.blended) : blank);
                std::copy(blank.begin(), blank.end(), out);
                dc.loadMatrix(sheared, at);
                dc.setYDown(!cut);
                const int turned = dc.drawImage(&picture, 0, nullptr);
                dc.setYDown(1);
                EXPECT_EQ(turned, int(drawable.count({from, to}) && look.turned));
                EXPECT_EQ(std::vector<uint8_t>(out, out + blank.size()),
                          turned ? reference(true, look.turned > 1, look.turned == 3) : blank);
            }

    // A key has nothing to key in one colour: on every target, a keyed line
    // or rectangle in every blend, mode, alpha test and colour alpha draws,
    // translated or sheared, what the unkeyed one draws, and translated what
    // a per-pixel reference draws (the Bresenham diagonal of (0, 0)-(5, 5),
    // the rectangle (1, 1)-(6, 4)); only the states no keyed draw may have
    // are refused.
    const int16_t shapes[2][4] = {{0, 0, 5, 5}, {1, 1, 6, 4}};
    for (const RSBFormat to : formats) {
        MemorySurface target;
        uint8_t* out = nullptr;
        int32_t pitch = 0;
        if (!makeTarget(target, 8, 6, to) || !target.lock(&out, &pitch, 0, nullptr))
            continue;
        const size_t bytes = size_t(pitch) * 6, tbpp = bytesPerPixel(to);
        for (uint32_t mode : {DrawMode::Lines, DrawMode::Rectangles})
            for (int blend = -1; blend < 4; ++blend)
                for (const bool alphaTest : {false, true})
                    for (const uint32_t alpha : {0xFFu, 0x80u, 0u}) {
                        const uint32_t colour = alpha << 24 | 0x3C9A51;
                        std::vector<uint8_t> drawn[2][2];
                        int results[2][2];
                        for (int keyed = 0; keyed < 2; ++keyed)
                            for (int way = 0; way < 2; ++way) {
                                std::memset(out, 0x5A, bytes);
                                setLook(keyed, alphaTest, blend >= 0, uint32_t(std::max(blend, 0)));
                                dc.setColor(colour);
                                dc.loadMatrix(way ? sheared : kIdentityWords, t0);
                                dc.vertexPointer(2, VertexType::S16, 0, shapes[mode == DrawMode::Rectangles]);
                                results[keyed][way] = dc.drawArrays(mode, 0, 2);
                                drawn[keyed][way].assign(out, out + bytes);
                            }
                        SCOPED_TRACE(::testing::Message() << std::hex << to << " mode " << mode << " blend " << blend
                                                          << " alpha test " << alphaTest << " alpha " << alpha);
                        const bool refusedKeyed = alphaTest || blend == int(DrawBlend::AlphaTested);
                        for (int way = 0; way < 2; ++way) {
                            EXPECT_EQ(results[1][way], refusedKeyed ? 0 : results[0][way]);
                            EXPECT_EQ(drawn[1][way], refusedKeyed ? std::vector<uint8_t>(bytes, 0x5A) : drawn[0][way]);
                        }
                        // The blit loops' state: modes 0 and 2 blend by the colour's alpha and test it.
                        const bool blends = blend == 0 || blend == 2, tested = alphaTest || blends;
                        std::vector<uint8_t> expected(bytes, 0x5A);
                        const bool referenced = to == R5G6B5 || to == X8R8G8B8;
                        for (int y = 0; y < 6; ++y)
                            for (int x = 0; x < 8; ++x) {
                                const bool inside =
                                    mode == DrawMode::Lines ? x == y && x < 5 : x >= 1 && x < 6 && y >= 1 && y < 4;
                                uint8_t* e = &expected[y * pitch + x * tbpp];
                                if (!referenced || !inside || (tested && alpha == 0))
                                    continue;
                                blends ? blendOnto(to, e, colour, alpha) : void(convertPixel(A8R8G8B8, &colour, to, e));
                            }
                        EXPECT_EQ(results[0][0], int(referenced));
                        EXPECT_EQ(drawn[0][0], expected);
                    }
    }
    setLook(false, false, false, DrawBlend::AlphaTested);
    s.target.makeCurrent();
}

} // namespace
