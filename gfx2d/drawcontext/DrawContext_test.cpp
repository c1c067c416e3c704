#include "gfx2d/drawcontext/DrawContext.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
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
constexpr int kFarCases = 6000;

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
// Far corners: pictures and shapes a matrix puts past the 16.16 range, held
// against what a test in long double expects at every pixel centre. A pixel
// within 1/50 pixel of an edge may go either way.
struct FarCase {
    Fixed m[6];   // x' = m0 x + m1 y + m4, y' = m2 x + m3 y + m5
    bool up;      // y grows upwards
    int clip[4];  // x0, y0, x1, y1
};

struct Spot {
    long double x, y;  // in 1/65536 pixel
};

// The device's sums, without their wrap.
Spot placed(const FarCase& c, int64_t x, int64_t y)
{
    const int64_t px = ((int64_t{c.m[0]} * x) >> 16) + ((int64_t{c.m[1]} * y) >> 16) + c.m[4];
    const int64_t py = ((int64_t{c.m[2]} * x) >> 16) + ((int64_t{c.m[3]} * y) >> 16) + c.m[5];
    return {static_cast<long double>(px), static_cast<long double>(c.up ? (int64_t{kH} << 16) - py : py)};
}

bool held(Spot p) { return std::max(std::fabs(p.x), std::fabs(p.y)) <= INT32_MAX; }
Spot centre(int x, int y) { return {(x + 0.5L) * 65536, (y + 0.5L) * 65536}; }
long double side(Spot a, Spot b, Spot p) { return (b.x - a.x) * (p.y - a.y) - (p.x - a.x) * (b.y - a.y); }
bool near(Spot p, Spot a, Spot b)
{
    const long double dx = b.x - a.x, dy = b.y - a.y, l2 = dx * dx + dy * dy;
    const long double t = l2 > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / l2, 0.0L, 1.0L) : 0;
    return std::hypot(a.x + t * dx - p.x, a.y + t * dy - p.y) < 65536 / 50.0L;
}

// Pixels unlike what a flat polygon covers: its corners cut to the clip in
// the clipper's order, and the fan from the cut's first vertex.
int wrongCoverage(const uint32_t* px, std::vector<Spot> p, const int* clip)
{
    for (int k = 0; k < 4 && p.size() >= 3; ++k) {
        const int limits[4] = {clip[2], clip[0], clip[3], clip[1]};
        const long double bound = limits[k] * 65536.0L;
        auto d = [&](Spot q) { return (k % 2 ? 1 : -1) * ((k < 2 ? q.x : q.y) - bound); };
        std::vector<Spot> out;
        for (size_t i = 0; i < p.size(); ++i) {
            const Spot a = p[i], b = p[(i + 1) % p.size()];
            const long double da = d(a), db = d(b);
            if (da >= 0)
                out.push_back(a);
            if ((da > 0 && db < 0) || (da < 0 && db > 0))
                out.push_back({a.x + (b.x - a.x) * da / (da - db), a.y + (b.y - a.y) * da / (da - db)});
        }
        // A polygon list holds 15 vertices: a cut past them draws nothing.
        p = out.size() <= 15 ? out : std::vector<Spot>{};
    }
    int wrong = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const Spot c = centre(x, y);
            const bool inClip = x >= clip[0] && x < clip[2] && y >= clip[1] && y < clip[3];
            bool in = false, unsure = false;
            for (size_t i = 1; inClip && i + 1 < p.size() && !unsure; ++i) {
                const Spot a = p[0], b = p[i], e = p[i + 1];
                const long double area = side(a, b, e), s[3] = {side(a, b, c), side(b, e, c), side(e, a, c)};
                unsure = near(c, a, b) || near(c, b, e) || near(c, e, a);
                in = in || (area != 0 && std::all_of(s, s + 3, [&](long double v) { return v * area >= 0; }));
            }
            wrong += !unsure && in != (px[y * kW + x] != 0xFFFFFFFF);
        }
    return wrong;
}

uint32_t texelColour(int u, int v) { return 0xFF000000u | uint32_t(v) << 11 | uint32_t(u); }

// Pixels unlike the reference for a w x h picture drawn from texel (sx, sy):
// inside its quad a pixel shows the texel under its centre within 1/50 texel
// (a sample past the rectangle reads its edge texel); elsewhere it is blank.
int wrongTexels(const uint32_t* px, const FarCase& c, int sx, int sy, int w, int h, uint32_t mirror)
{
    const Spot q[4] = {placed(c, 0, 0), placed(c, 0, int64_t{h} << 16), placed(c, int64_t{w} << 16, int64_t{h} << 16),
                       placed(c, int64_t{w} << 16, 0)};
    const long double a0 = c.m[0], a1 = c.m[1], a2 = c.m[2], a3 = c.m[3], det = a0 * a3 - a1 * a2;
    int wrong = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const uint32_t got = px[y * kW + x];
            const Spot p = centre(x, y);
            if (x < c.clip[0] || x >= c.clip[2] || y < c.clip[1] || y >= c.clip[3]) {
                wrong += got != 0xFFFFFFFF;
                continue;
            }
            if (near(p, q[0], q[1]) || near(p, q[1], q[2]) || near(p, q[2], q[3]) || near(p, q[3], q[0]))
                continue;
            const long double dx = p.x - c.m[4], dy = (c.up ? (int64_t{kH} << 16) - p.y : p.y) - c.m[5];
            const long double i = (a3 * dx - a1 * dy) / det, j = (a0 * dy - a2 * dx) / det;
            if (i < 0 || i >= w || j < 0 || j >= h) {
                wrong += got != 0xFFFFFFFF;
                continue;
            }
            const long double u = std::clamp((mirror & DrawMirror::X) ? sx + w - i : sx + i, 0.0L + sx, 0.0L + sx + w);
            const long double v = std::clamp((mirror & DrawMirror::Y) ? sy + h - j : sy + j, 0.0L + sy, 0.0L + sy + h);
            auto off = [](long double t, uint32_t cell) { return std::max({0.0L, cell - t, t - cell - 1}); };
            wrong += got == 0xFFFFFFFF || std::max(off(u, got & 0x7FF), off(v, got >> 11 & 0x7FF)) > 0.02L;
        }
    return wrong;
}

// A segment fills the bounding rectangle of its part inside the clip: every
// pixel all of its ends moved by 3/65536 pixel cover, and none that none covers.
int wrongSegment(const uint32_t* px, const FarCase& c, Spot a, Spot b)
{
    long double t0 = 0, t1 = 1;
    const long double dx = b.x - a.x, dy = b.y - a.y;
    bool seen = true;
    // Liang-Barsky: p t <= q on each side.
    const long double sides[4][2] = {{-dx, a.x - c.clip[0] * 65536.0L}, {dx, c.clip[2] * 65536.0L - a.x},
                                     {-dy, a.y - c.clip[1] * 65536.0L}, {dy, c.clip[3] * 65536.0L - a.y}};
    for (const auto& [p, q] : sides) {
        if (p == 0)
            seen = seen && q >= 0;
        else if (p < 0)
            t0 = std::max(t0, q / p);
        else
            t1 = std::min(t1, q / p);
    }
    seen = seen && t0 <= t1;
    std::vector<int> hits(kW * kH, 0);
    for (int d = -3; seen && d <= 3; d += 3)
        for (int e = -3; e <= 3; e += 3) {
            auto column = [](long double u) { return int64_t(std::floor(u / 65536)); };
            auto row = [](long double u) { return int64_t(std::floor((u + 0x7FFF) / 65536)) - 1; };
            const int64_t xa = column(a.x + t0 * dx + d), xb = column(a.x + t1 * dx - d);
            const int64_t ya = row(a.y + t0 * dy + e), yb = row(a.y + t1 * dy - e);
            const int64_t x0 = std::max<int64_t>(std::min(xa, xb), c.clip[0]);
            const int64_t y0 = std::max<int64_t>(std::min(ya, yb), c.clip[1]);
            for (int64_t y = y0; y <= std::min<int64_t>(std::max(ya, yb), c.clip[3] - 1); ++y)
                for (int64_t x = x0; x <= std::min<int64_t>(std::max(xa, xb), c.clip[2] - 1); ++x)
                    ++hits[y * kW + x];
        }
    int wrong = 0;
    for (int i = 0; i < kW * kH; ++i)
        wrong += px[i] != 0xFFFFFFFF ? hits[i] == 0 : hits[i] == 9;
    return wrong;
}

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

    // A seeded sweep of pictures, polygons, rectangles and lines with a
    // corner past the range, turned, scaled and sheared, y down and up, each
    // placed near a clip edge or corner: the cut draws what the reference does.
    std::mt19937_64 rng(67);
    auto uni = [&](double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); };
    auto pick = [&](int n) { return int(rng() % uint64_t(n)); };
    auto toFixed = [](double v) { return Fixed(std::llround(v * 65536)); };
    static const int sizes[][2] = {{1, 1}, {5, 4}, {16, 16}, {64, 3}, {3, 64}, {2048, 1}, {1, 2048}, {40, 40}};
    std::vector<MemorySurface> pictures(std::size(sizes));
    for (size_t i = 0; i < pictures.size(); ++i)
        ASSERT_TRUE(makeImage(pictures[i], sizes[i][0], sizes[i][1], texelColour));
    dc.setColor(0xFF5080C0);
    auto setUp = [&](const FarCase& c) {
        std::fill(px, px + kW * kH, 0xFFFFFFFF);
        dc.setClip(c.clip[0], c.clip[1], c.clip[2] - c.clip[0], c.clip[3] - c.clip[1]);
        const Fixed words[4] = {c.m[0], c.m[2], c.m[1], c.m[3]};
        dc.loadMatrix(words, c.m + 4);
        dc.setYDown(!c.up);
    };
    auto drawShape = [&](uint32_t mode, const std::vector<Fixed>& corners) {
        dc.vertexPointer(2, VertexType::Fixed32, 8, corners.data());
        dc.drawArrays(mode, 0, uint32_t(corners.size() / 2));
    };
    auto spots = [](const FarCase& c, const std::vector<Fixed>& corners) {
        std::vector<Spot> at;
        for (size_t i = 0; i < corners.size(); i += 2)
            at.push_back(placed(c, corners[i], corners[i + 1]));
        return at;
    };
    int farCases[4] = {}, wrongCases[4] = {};
    for (int k = 0; k < kFarCases; ++k) {
        const int kind = k % 4;  // picture, polygon, rectangle, line
        FarCase c;
        c.up = pick(3) == 0;
        const int x0 = pick(kW / 2), y0 = pick(kH / 2);
        std::copy_n(std::array{x0, y0, x0 + 1 + pick(kW / 2), y0 + 1 + pick(kH / 2)}.begin(), 4, c.clip);
        const double turn = pick(4) ? uni(0, 2 * M_PI) : pick(4) * M_PI / 2, shear = pick(3) ? 0 : uni(-3, 3);
        double sx = std::exp(uni(-3, 10.3)), sy = std::exp(uni(-3, 10.3));  // 0.05 to 30,000
        const int(&size)[2] = sizes[pick(int(std::size(sizes)))];
        if (kind == 0 && pick(2))
            sx = std::max(sx, 40000.0 / size[0] * uni(1, 3));
        sx = pick(2) ? -sx : sx;
        const double a[4] = {std::cos(turn) * sx, std::cos(turn) * shear * sy - std::sin(turn) * sy,
                             std::sin(turn) * sx, std::sin(turn) * shear * sy + std::cos(turn) * sy};
        if (std::any_of(a, a + 4, [](double v) { return std::fabs(v) >= 32767; }))
            continue;
        for (int i = 0; i < 4; ++i)
            c.m[i] = toFixed(a[i]);
        const double det = double(c.m[0]) * c.m[3] - double(c.m[1]) * c.m[2];
        // The screen point the shape or picture is placed around, and the
        // input point that lands there.
        const double qx = pick(2) ? uni(c.clip[0] - 1, c.clip[2] + 1) : c.clip[2 * pick(2)] + uni(-1, 1);
        const double qy = pick(2) ? uni(c.clip[1] - 1, c.clip[3] + 1) : c.clip[1 + 2 * pick(2)] + uni(-1, 1);
        const double ty = c.up ? kH - qy : qy;
        int src[4] = {0, 0, size[0], size[1]};
        double ix = 0, iy = 0;
        if (kind == 0) {
            if (pick(3) == 0)
                src[0] = pick(size[0]), src[1] = pick(size[1]), src[2] = 1 + pick(size[0] - src[0]),
                src[3] = 1 + pick(size[1] - src[1]);
            ix = uni(0, std::min(src[2], int(28000 / std::hypot(a[0], a[2]))));
            iy = uni(0, std::min(src[3], int(28000 / std::hypot(a[1], a[3]))));
            c.m[4] = toFixed(qx - a[0] * ix - a[1] * iy), c.m[5] = toFixed(ty - a[2] * ix - a[3] * iy);
            // A corner a few units from a clip corner leaves the cut two
            // vertices as close: every triangle with both is a sliver.
            if (pick(2)) {
                const Spot corner = placed(c, int64_t{src[2] * pick(2)} << 16, int64_t{src[3] * pick(2)} << 16);
                const int64_t x = c.m[4] + int64_t(c.clip[2 * pick(2)] * 65536.0L - corner.x) + pick(9) - 4;
                const int64_t y = c.m[5] + int64_t((c.up ? -1 : 1) * (c.clip[1 + 2 * pick(2)] * 65536.0L - corner.y));
                if (std::max(std::abs(x), std::abs(y)) >= int64_t{32767} << 16)
                    continue;
                c.m[4] = Fixed(x), c.m[5] = Fixed(y + pick(9) - 4);
            }
        } else {
            c.m[4] = toFixed(uni(-200, 200)), c.m[5] = toFixed(uni(-200, 200));
            const double dx = (qx - c.m[4] / 65536.0) * 65536, dy = (ty - c.m[5] / 65536.0) * 65536;
            ix = (c.m[3] * dx - c.m[1] * dy) / det, iy = (c.m[0] * dy - c.m[2] * dx) / det;
        }
        if (det == 0 || std::fabs(c.m[4] / 65536.0) >= 32767 || std::fabs(c.m[5] / 65536.0) >= 32767 ||
            std::fabs(ix) > 30000 || std::fabs(iy) > 30000)
            continue;
        // The shape's corners in input space, around (ix, iy).
        std::vector<Fixed> corners;
        if (kind == 1) {
            const int count = 3 + pick(9);
            const double r0 = std::exp(uni(-3, 10)), r1 = std::exp(uni(-3, 10)), spin = uni(0, 6.3);
            const double ox = uni(-0.9, 0.9) * r0, oy = uni(-0.9, 0.9) * r1;
            const bool star = pick(2);  // concave, its corners pulled in at random
            std::vector<double> angles(static_cast<size_t>(count), 0.0);
            for (double& angle : angles)
                angle = uni(0, 2 * M_PI);
            std::sort(angles.begin(), angles.end());
            for (const double angle : angles) {
                const double r = star && pick(2) ? uni(0.02, 0.5) : 1;
                const double ex = r * r0 * std::cos(angle) - ox, ey = r * r1 * std::sin(angle) - oy;
                corners.push_back(toFixed(ix + ex * std::cos(spin) - ey * std::sin(spin)));
                corners.push_back(toFixed(iy + ex * std::sin(spin) + ey * std::cos(spin)));
            }
        } else if (kind == 2) {
            const double w = std::exp(uni(-4, 10)), h = std::exp(uni(-4, 10)), ox = uni(0, w), oy = uni(0, h);
            corners = {toFixed(ix - ox), toFixed(iy - oy), toFixed(ix - ox + w), toFixed(iy - oy + h)};
        } else if (kind == 3) {
            const double dx = uni(-1, 1), dy = uni(-1, 1), l0 = std::exp(uni(-3, 10)), l1 = std::exp(uni(-3, 10));
            corners = {toFixed(ix - dx * l0), toFixed(iy - dy * l0), toFixed(ix + dx * l1), toFixed(iy + dy * l1)};
        } else {
            corners = {0, 0, 0, src[3] << 16, src[2] << 16, src[3] << 16, src[2] << 16, 0};
        }
        if (std::any_of(corners.begin(), corners.end(), [](Fixed v) { return std::abs(v) > (32767 << 16); }))
            continue;
        std::vector<Spot> at = spots(c, corners);
        if (kind == 2)  // as the rectangle's set-up lists them
            at = {placed(c, corners[0], corners[3]), at[0], placed(c, corners[2], corners[1]), at[1]};
        if (std::all_of(at.begin(), at.end(), held))
            continue;
        setUp(c);
        const uint32_t mirror = uint32_t(pick(4));
        const int16_t part[4] = {int16_t(src[0]), int16_t(src[1]), int16_t(src[2]), int16_t(src[3])};
        if (kind == 0)
            dc.drawImage(&pictures[size_t(&size - sizes)], mirror, part);
        else
            drawShape(kind == 1 ? DrawMode::Polygon : kind == 2 ? DrawMode::Rectangles : DrawMode::Lines, corners);
        const int wrong = kind == 0   ? wrongTexels(px, c, src[0], src[1], src[2], src[3], mirror)
                          : kind == 3 ? wrongSegment(px, c, at[0], at[1])
                                      : wrongCoverage(px, at, c.clip);
        ++farCases[kind];
        wrongCases[kind] += wrong != 0;
    }
    // On the clip (8, 6)-(40, 30): a zigzag whose corners on its right edge
    // lie between far ones keeps each of them once (8 vertices, not 20 that
    // no list holds); a dart listed from its notch, its point far above,
    // leaves the notch open; a segment from its bottom edge to a far point below
    // draws nothing; a segment from a far point whose cut end lies half a
    // unit past row 23's edge fills rows 9 to 23, rounded as the clipper
    // rounds, 195 pixels.
    std::vector<Fixed> zigzag = {-28 << 16, 16 << 16};
    for (int i = 0; i < 7; ++i)
        zigzag.insert(zigzag.end(), {0, (7 + 3 * i) << 16, 32767 << 16, (8 + 3 * i) << 16});
    zigzag.resize(zigzag.size() - 2);
    const struct {
        Fixed m[4];  // and no translation but the zigzag's
        std::vector<Fixed> corners;
        int pixels;  // -1: as the reference fans it
    } exact[] = {{{kFixedOne, 0, 0, kFixedOne}, zigzag, -1},
                 {{kFixedOne, 0, 0, 2 << 16},
                  {24 << 16, 10 << 16, 38 << 16, 35 << 15, 24 << 16, -25000 << 16, 10 << 16, 35 << 15},
                  -1},
                 {{2 << 16, 0, 0, 2 << 16}, {12 << 16, 15 << 16, 15 << 16, 20000 << 16}, 0},
                 {{2 << 16, 0, 0, 2 << 16}, {-20000 << 16, 1475625794, 10 << 16, 5 << 16}, 195}};
    for (const auto& row : exact) {
        const Fixed x = row.corners == zigzag ? 40 << 16 : 0;
        const FarCase c{{row.m[0], row.m[1], row.m[2], row.m[3], x, 0}, false, {8, 6, 40, 30}};
        setUp(c);
        drawShape(row.pixels < 0 ? DrawMode::Polygon : DrawMode::Lines, row.corners);
        const int drawn = int(std::count_if(px, px + kW * kH, [](uint32_t p) { return p != 0xFFFFFFFF; }));
        const int wrong = row.pixels < 0 ? wrongCoverage(px, spots(c, row.corners), c.clip) : drawn - row.pixels;
        EXPECT_EQ(wrong, 0) << row.corners[0];
        EXPECT_TRUE(row.pixels >= 0 || drawn > 100) << row.corners[0];
    }
    // A strip 8,190 texels long whose cut leaves pairs of close vertices, so
    // that every three consecutive ones are a sliver, draws what its first
    // 6,000 texels (every corner held) draw: only texels 0 to 60 reach the clip.
    MemorySurface strip;
    ASSERT_TRUE(makeImage(strip, 8190, 1, [](int x, int) { return 0xFF000000u | uint32_t(x); }));
    const int16_t held6000[4] = {0, 0, 6000, 1};
    std::vector<uint32_t> strips[2];
    for (int i = 0; i < 2; ++i) {
        setUp({{-168486, 3373871, -281045, -5618422, 1571549, 2621441}, false, {0, 0, 48, 40}});
        dc.drawImage(&strip, 0, i ? held6000 : nullptr);
        strips[i].assign(px, px + kW * kH);
    }
    int differ = 0;
    for (int i = 0; i < kW * kH; ++i)
        differ += strips[0][i] != strips[1][i];
    EXPECT_EQ(differ, 0);
    dc.setYDown(1);
    for (int kind = 0; kind < 4; ++kind) {
        EXPECT_GT(farCases[kind], kFarCases / 16) << kind;
        EXPECT_EQ(wrongCases[kind], 0) << "pictures, polygons, rectangles, lines: " << kind;
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
