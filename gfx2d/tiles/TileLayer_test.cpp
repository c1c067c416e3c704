// Tile layers over a 4 × 2 sheet of 8 × 8 tiles: the cells a view submits
// at several scroll offsets composed against a picture computed pixel by
// pixel from the map, animation frames at the set tick, index checks on
// values from files, cell geometry, rays and sweeps, and the map's scroll.
#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "gfx2d/drawcontext/testing/DrawScene.h"
#include "gfx2d/tiles/TileLayer.h"
#include "gfx2d/tiles/TileMap.h"
#include "tests/support/GoldenImage.h"

namespace {

constexpr int32_t kTile = 8, kSheetW = 32, kSheetH = 16, kGridW = 5, kGridH = 4;

TileRecord record(int32_t base, int32_t overlay = 0, uint8_t flags = 0)
{
    TileRecord r{};
    r.baseTile = base;
    r.overlayTiles[1] = overlay;
    r.shapeFlags = flags;
    return r;
}

struct Fixture {
    // Record 0 is never used; 4 has an overlay; 5 names a tile past the sheet.
    TileRecord records[6] = {record(0), record(1), record(2), record(3, 7, 1 | 4), record(5, 6, 2), record(99)};
    TileAnimation animations[3] = {{}, {TileAnimMode::Loop, 1, 1, 0, 0, 3}, {TileAnimMode::Once, 2, 2, 1, 1, 3}};
    int16_t frames[3] = {1, 2, 3};
    int16_t cells[kGridW * kGridH] = {
        1, 2, 3, 4, 0,   //
        -1, 0, 4, 1, 2,  //
        3, 5, 0, -2, 1,  //
        2, 4, 1, 0, 3,   //
    };
    TileLayer layer;

    Fixture()
    {
        EXPECT_EQ(layer.initGrid(kSheetW, kSheetH, kTile, kTile, 3, cells, kGridW, kGridH, records, 6, animations, 3,
                                 frames, 3),
                  1);
    }
};

uint32_t sheetPixel(int32_t tile, int32_t x, int32_t y)
{
    // Tile in red, row in green, column in blue: every pixel of the sheet differs.
    return 0xFF000000u | uint32_t(tile) << 21 | uint32_t(y) << 13 | uint32_t(x) << 5;
}

// What a view shows at (vx, vy), from the cells, records and sheet alone.
uint32_t referencePixel(const Fixture& f, int32_t sx, int32_t sy, Fixed parallax, uint8_t wrap, uint32_t mask,
                        int32_t vx, int32_t vy)
{
    const int32_t mapW = kGridW * kTile, mapH = kGridH * kTile;
    int32_t wx = int32_t((int64_t(parallax) * sx) >> 16) + vx;
    int32_t wy = int32_t((int64_t(parallax) * sy) >> 16) + vy;
    if (wrap) {
        wx = (wx % mapW + mapW) % mapW;
        wy = (wy % mapH + mapH) % mapH;
    }
    if (wx < 0 || wy < 0 || wx >= mapW || wy >= mapH)
        return 0;
    int32_t v = f.cells[(wy / kTile) * kGridW + wx / kTile];
    if (v < 0)
        v = f.frames[f.animations[-v].frame];
    const TileRecord& r = f.records[v];
    int32_t top = 0;
    if (v != 0 && (mask & 1) && r.baseTile > 0 && r.baseTile < 8)
        top = r.baseTile;
    if (v != 0 && (mask & 2) && r.overlayTiles[1] > 0 && r.overlayTiles[1] < 8)
        top = r.overlayTiles[1];
    return top != 0 ? sheetPixel(top, wx % kTile, wy % kTile) : 0;
}

struct Canvas {
    int32_t w, h;
    std::vector<uint32_t> pixels;
};

void compose(void* context, const BlitPiece& t)
{
    auto* canvas = static_cast<Canvas*>(context);
    for (int32_t y = 0; y < t.height; ++y) {
        for (int32_t x = 0; x < t.width; ++x) {
            const int32_t dx = t.x + x, dy = t.y + y;
            if (dx < 0 || dy < 0 || dx >= canvas->w || dy >= canvas->h)
                continue;
            const int32_t sx = t.srcX + x, sy = t.srcY + y;
            ASSERT_TRUE(sx >= 0 && sy >= 0 && sx < kSheetW && sy < kSheetH);
            canvas->pixels[size_t(dy) * canvas->w + dx] = sheetPixel(sy / kTile * 4 + sx / kTile, sx % kTile, sy % kTile);
        }
    }
}

TEST(TileLayer, ViewsAtSeveralScrollsMatchTheMapPixelByPixel)
{
    struct Case {
        int32_t sx, sy;
        Fixed parallax;
        uint8_t wrap;
        uint32_t mask;
    } cases[] = {
        {0, 0, kFixedOne, 0, 3}, {3, 5, kFixedOne, 0, 3},       {13, 9, kFixedOne, 0, 1},
        {-6, -3, kFixedOne, 0, 2}, {37, 30, kFixedOne, 1, 3},    {90, 70, kFixedOne / 2, 1, 3},
        {30, 20, kFixedOne, 0, 3},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.layer.parallaxX = f.layer.parallaxY = c.parallax;
        f.layer.wrap = c.wrap;
        Canvas canvas{21, 13, std::vector<uint32_t>(21 * 13, 0)};
        f.layer.placeTiles(Rect16{0, 0, 21, 13}, c.sx, c.sy, c.mask, compose, &canvas);

        for (int32_t vy = 0; vy < canvas.h; ++vy) {
            for (int32_t vx = 0; vx < canvas.w; ++vx) {
                ASSERT_EQ(canvas.pixels[size_t(vy) * canvas.w + vx],
                          referencePixel(f, c.sx, c.sy, c.parallax, c.wrap, c.mask, vx, vy))
                    << "scroll " << c.sx << "," << c.sy << " at " << vx << "," << vy;
            }
        }
    }
}

TEST(TileMap, DrawsItsLayersAtEveryScrollAndAnimationFrame)
{
    constexpr int kW = 36, kH = 20;
    DrawScene scene(kW, kH);
    MemorySurface sheet;
    ASSERT_TRUE(makeImage(sheet, kSheetW, kSheetH,
                          [](int x, int y) { return sheetPixel(y / kTile * 4 + x / kTile, x % kTile, y % kTile); }));
    Fixture f;
    ASSERT_EQ(f.layer.init(&sheet, kTile, kTile, 3, f.cells, kGridW, kGridH, f.records, 6, f.animations, 3, f.frames, 3),
              1);
    TileMap map;
    EXPECT_EQ(std::vector<int16_t>({map.viewRect().x, map.viewRect().y, map.viewRect().w, map.viewRect().h}),
              std::vector<int16_t>({0, 0, kW, kH}));
    map.setMapSize(kGridW * kTile, kGridH * kTile);
    map.addLayer(&f.layer);

    struct Case {
        int32_t sx, sy;    // asked for
        int32_t x, y;      // after clamping
        int16_t viewX, viewY;
    } cases[] = {{0, 0, 0, 0, 0, 0}, {3, 5, 3, 5, 0, 0}, {-4, 2, 0, 2, 0, 0}, {100, 100, 3, 11, 0, 0},
                 {2, 9, 2, 9, 3, 2}};
    for (const Case& c : cases) {
        if (c.viewX != 0) {
            map.setViewRect(uint16_t(c.viewX), uint16_t(c.viewY), kW - c.viewX, kH - c.viewY);
            map.setMapSize(kGridW * kTile, kGridH * kTile);
        }
        map.setScroll(c.sx, c.sy);
        ASSERT_EQ(map.scrollX(), c.x);
        ASSERT_EQ(map.scrollY(), c.y);
        std::memset(const_cast<uint32_t*>(scene.pixels()), 0, size_t(kW) * kH * 4);
        map.draw();
        std::vector<uint32_t> picture(scene.pixels(), scene.pixels() + size_t(kW) * kH);
        for (int32_t y = 0; y < kH; ++y) {
            for (int32_t x = 0; x < kW; ++x) {
                const uint32_t expected = x < c.viewX || y < c.viewY
                                              ? 0
                                              : referencePixel(f, c.x, c.y, kFixedOne, 0, 3, x - c.viewX, y - c.viewY);
                ASSERT_EQ(picture[size_t(y) * kW + x], expected) << "scroll " << c.x << "," << c.y << " at " << x << "," << y;
            }
        }
        if (c.sx == 3) {
            for (uint32_t& p : picture)
                p |= 0xFF000000u;
            EXPECT_TRUE(matchesGolden("gfx2d/tiles/TileMap_scrolled.png", picture.data(), kW, kH));
        }
        map.update(100);  // the animated cells move on a frame between pictures
    }
    // The sheet made again two tiles across and four down after init: the
    // layer numbers its tiles by the sheet it has now, as a new layer would;
    // one narrower than a tile draws nothing.
    for (const int across : {2, 0}) {
        ASSERT_TRUE(makeImage(sheet, across ? 16 : 4, across ? 32 : 8, [&](int x, int y) {
            return sheetPixel(y / kTile * across + x / kTile, x % kTile, y % kTile);
        }));
        map.setViewRect(0, 0, kW, kH);
        map.setScroll(0, 0);
        std::memset(const_cast<uint32_t*>(scene.pixels()), 0, size_t(kW) * kH * 4);
        map.draw();
        for (int32_t y = 0; y < kH; ++y)
            for (int32_t x = 0; x < kW; ++x) {
                const uint32_t expected = across ? referencePixel(f, 0, 0, kFixedOne, 0, 3, x, y) : 0;
                ASSERT_EQ(scene.pixels()[size_t(y) * kW + x], expected) << across << " at " << x << "," << y;
            }
    }
}

TEST(TileLayer, AnimationsAdvanceTogetherAtTheSetTick)
{
    Fixture f;
    // Loop over frames 0..2 every tick; once over 1..2 every second tick.
    const std::vector<std::pair<int32_t, std::vector<int32_t>>> steps = {
        {50, {0, 1}}, {50, {1, 1}}, {100, {2, 2}}, {100, {0, 2}}, {100, {1, 1}}, {300, {1, 1}},
    };
    for (const auto& [elapsed, frames] : steps) {
        f.layer.update(elapsed);
        EXPECT_EQ(f.animations[1].frame, frames[0]) << elapsed;
        EXPECT_EQ(f.animations[2].frame, frames[1]) << elapsed;
    }
    EXPECT_EQ(f.animations[2].countdown, kTileAnimStopped);  // once ends on its first frame
    EXPECT_EQ(f.layer.cellAt(0, 1), 2);                       // frame 1 of the list

    f.layer.setTick(0);
    EXPECT_EQ(f.layer.tick(), 100);
    f.layer.setTick(1);
    f.layer.update(0x7FFFFFFF);  // ends promptly
    f.layer.setCell(3, 2, -2);
    EXPECT_EQ(f.animations[2].frame, 1);
    EXPECT_EQ(f.animations[2].countdown, 2);

    struct ModeCase {
        uint8_t mode;
        std::vector<int32_t> frames;  // after each tick, from the reset frame
    } modes[] = {
        {TileAnimMode::Loop, {2, 3, 1, 2}},
        {TileAnimMode::LoopBackward, {2, 1, 3, 2}},
        {TileAnimMode::OnceAndHold, {2, 3, 3, 3}},
        {TileAnimMode::PingPongForward, {2, 3, 3, 2, 1, 1, 2}},
        {TileAnimMode::PingPongBackward, {2, 1, 1, 2}},
        {9, {1, 1}},
    };
    for (const ModeCase& m : modes) {
        TileAnimation anims[2] = {{}, {m.mode, 1, 0, 0, 1, 4}};
        int16_t cell = -1;
        const int16_t list[4] = {1, 1, 1, 1};
        TileLayer layer;
        ASSERT_EQ(layer.initGrid(8, 8, 8, 8, 1, &cell, 1, 1, f.records, 2, anims, 2, list, 4), 1);
        layer.resetAnimation(1);
        for (int32_t expected : m.frames) {
            layer.update(100);
            EXPECT_EQ(anims[1].frame, expected) << int(m.mode);
        }
    }
}

TEST(TileLayer, ValuesFromFilesNeverIndexPastTheirArrays)
{
    Fixture f;
    f.cells[4] = 6;       // no record 6
    f.cells[9] = -3;      // no animation 3
    f.cells[14] = -1;
    f.animations[1].frame = 7;  // past the frame list
    EXPECT_EQ(f.layer.cellAt(4, 0), 0);
    EXPECT_EQ(f.layer.cellAt(4, 1), 0);
    EXPECT_EQ(f.layer.cellAt(4, 2), 0);
    EXPECT_EQ(f.layer.cellAt(-1, 0), 0);
    EXPECT_EQ(f.layer.cellAt(0, kGridH), 0);
    EXPECT_EQ(f.layer.tileRecordAt(3, 0), &f.records[4]);
    EXPECT_EQ(f.layer.tileRecordAt(4, 0), nullptr);

    f.layer.setCell(0, 0, 6);   // past the records
    f.layer.setCell(0, 0, -3);  // past the animations
    f.layer.setCell(9, 0, 1);
    EXPECT_EQ(f.cells[0], 1);
    f.layer.setCell(0, 0, 5);
    EXPECT_EQ(f.cells[0], 5);

    TileLayer layer;
    EXPECT_EQ(layer.initGrid(32, 16, 0, 8, 1, f.cells, 5, 4, f.records, 6, nullptr, 0, nullptr, 0), 0);
    EXPECT_EQ(layer.initGrid(32, 16, 8, 17, 1, f.cells, 5, 4, f.records, 6, nullptr, 0, nullptr, 0), 0);
    EXPECT_EQ(layer.initGrid(32, 16, 8, 8, 1, nullptr, 5, 4, f.records, 6, nullptr, 0, nullptr, 0), 0);
    layer.update(100);
    int calls = 0;
    layer.placeTiles(Rect16{0, 0, 16, 16}, 0, 0, 3, [](void* c, const BlitPiece&) { ++*static_cast<int*>(c); }, &calls);
    EXPECT_EQ(calls, 0);
}

TEST(TileLayer, CellGeometryRaysAndSweeps)
{
    Fixture f;
    f.layer.wrap = 1;
    TileHit a = f.layer.worldToCell(19, 10), b = f.layer.worldToCell(19 + kGridW * kTile, 10 - kGridH * kTile);
    EXPECT_EQ(std::vector<int32_t>({a.cellX, a.cellY, a.centreX, a.centreY}), std::vector<int32_t>({2, 1, 20, 12}));
    EXPECT_EQ(std::vector<int32_t>({b.cellX, b.cellY, b.centreX, b.centreY}), std::vector<int32_t>({2, 1, 20, 12}));
    f.layer.wrap = 0;
    const TileHit outside = f.layer.worldToCell(kGridW * kTile, 0);
    EXPECT_EQ(std::vector<int32_t>({outside.cellX, outside.cellY, outside.centreX, outside.step}),
              std::vector<int32_t>({-1, -1, -1, -1}));
    const TileHit centre = f.layer.cellToWorld(4, 3), none = f.layer.cellToWorld(5, 0);
    EXPECT_EQ(std::vector<int32_t>({centre.centreX, centre.centreY, none.cellX, none.centreX}),
              std::vector<int32_t>({36, 28, -1, 0}));

    FixedPoint2 corners[4];
    ASSERT_EQ(f.layer.tileCorners(3, corners), 2);
    EXPECT_EQ(std::vector<Fixed>({corners[0].x, corners[0].y, corners[1].x, corners[1].y}),
              std::vector<Fixed>({-4 << 16, -4 << 16, -4 << 16, 4 << 16}));
    EXPECT_TRUE(f.layer.hasShapeFlags(4));
    EXPECT_FALSE(f.layer.hasShapeFlags(1));
    EXPECT_EQ(f.layer.shapeValue(3), 24);
    EXPECT_EQ(f.layer.halfTileSize(4).x, 4 << 16);
    EXPECT_EQ(f.layer.halfTileSize(9).x, 0);
    // Odd tiles: the half size rounds down, the corners round up.
    for (const auto& [w, h] : {std::pair{9, 7}, std::pair{1, 3}}) {
        TileLayer odd;
        ASSERT_EQ(odd.initGrid(w * 4, h * 2, w, h, 3, f.cells, kGridW, kGridH, f.records, 6, f.animations, 3,
                               f.frames, 3),
                  1);
        const FixedPoint2 half = odd.halfTileSize(4);
        EXPECT_EQ(std::vector<Fixed>({half.x, half.y}), std::vector<Fixed>({w / 2 << 16, h / 2 << 16})) << w;
        ASSERT_EQ(odd.tileCorners(3, corners), 2);
        EXPECT_EQ(std::vector<Fixed>({corners[0].x, corners[1].y}),
                  std::vector<Fixed>({-((w + 1) / 2 << 16), (h + 1) / 2 << 16}))
            << w;
    }

    // Along row 1 from x 2 to x 30: cells 0..3 once each, capacity respected.
    TileHit hits[8];
    EXPECT_EQ(f.layer.traceRay({2 << 16, 12 << 16}, {30 << 16, 12 << 16}, hits, 8, 0), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(std::vector<int32_t>({hits[i].cellX, hits[i].cellY}), std::vector<int32_t>({i, 1}));
    EXPECT_EQ(f.layer.traceRay({2 << 16, 12 << 16}, {30 << 16, 12 << 16}, hits, 2, 0), 2);
    EXPECT_EQ(f.layer.traceRay({2 << 16, 12 << 16}, {2 << 16, 12 << 16}, hits, 8, 0), 0);

    // A point at (4, 4) moving 10 down with half-width 3 sweeps x 1..7 over
    // 13 pixels in steps of 4: rows 0, 1 and 2 of column 0, each tagged with
    // the step that first met it (y 4, 8, then 16).
    const int n = f.layer.sweepTest({4 << 16, 4 << 16}, 3 << 16, {0, 10 << 16}, hits, 8, 0);
    ASSERT_EQ(n, 3);
    EXPECT_EQ(std::vector<int32_t>({hits[0].cellX, hits[0].cellY, hits[0].step, hits[1].cellY, hits[1].step,
                                    hits[2].cellX, hits[2].cellY, hits[2].step}),
              std::vector<int32_t>({0, 0, 0, 1, 1, 0, 2, 3}));
}

TEST(TileMap, ScrollStaysInsideTheMap)
{
    TileMap map;
    EXPECT_EQ(map.m_typeId, 0x62FA8A6Cu);
    map.setViewRect(0, 0, 20, 12);
    map.setMapSize(40, 10);
    EXPECT_EQ(map.viewWidth(), 20);
    EXPECT_EQ(map.viewHeight(), 10);
    const int32_t cases[][4] = {{-5, -5, 0, 0}, {10, 3, 10, 0}, {100, 100, 19, 0}};
    for (const auto& c : cases) {
        map.setScroll(c[0], c[1]);
        EXPECT_EQ(map.scrollX(), c[2]);
        EXPECT_EQ(map.scrollY(), c[3]);
    }
    EXPECT_TRUE(map.canScrollLeft());
    EXPECT_FALSE(map.canScrollRight());
    EXPECT_FALSE(map.canScrollDown());
    Fixture f;
    TileLayer second;
    EXPECT_EQ(map.addLayer(&f.layer), 0);
    EXPECT_EQ(map.addLayer(&second), 1);
    EXPECT_EQ(second.index, 1);
    EXPECT_EQ(map.layerAt(1), &second);
    EXPECT_EQ(map.layerAt(2), nullptr);
}

} // namespace
