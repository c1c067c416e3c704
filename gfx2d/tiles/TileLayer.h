// A grid of tiles cut from one image, with animated cells, parallax
// scrolling and optional wrap-around, and the geometric questions the shapes
// library asks of it: the cell under a point, a cell's collision corners,
// the cells a ray or a moving segment passes.
#pragma once

#include <cstdint>

#include "framework/services/HashedObject.h"
#include "framework/strings/Rect16.h"
#include "gfx2d/blit/BlitClip.h"
#include "gfx2d/raster/FixedPoint.h"
#include "gfx2d/tiles/TileIds.h"

class Surface;
class TileLayer;

// Bytes 16-30 are not read.
struct TileRecord {
    int32_t baseTile;
    int32_t overlayTiles[3];
    uint8_t unused[15];
    uint8_t shapeFlags;
};
static_assert(sizeof(TileRecord) == 32);

struct TileAnimation {
    uint8_t mode;
    uint8_t delay;      // ticks per frame
    uint8_t countdown;  // kTileAnimStopped: stopped
    int32_t frame;      // index into the frame list
    int32_t first;
    int32_t end;        // exclusive
};
static_assert(sizeof(TileAnimation) == 16);

struct TileHit {
    const TileLayer* layer;
    int32_t centreX;
    int32_t centreY;
    int32_t cellX;
    int32_t cellY;
    int32_t step;
};

struct FixedPoint2 {
    Fixed x;
    Fixed y;
};

class TileLayer : public HashedObject {
public:
    using PreDraw = void (*)(uintptr_t userData, const Rect16& view, const Rect16& scrolled, int32_t, int32_t,
                             void* argument);

    TileLayer() : HashedObject(TileTypeId::TileLayer) {}

    // The image is borrowed and cut into tiles of its size; 0 as initGrid.
    int init(Surface* image, int32_t tileWidth, int32_t tileHeight, int32_t shapeScale, int16_t* cells,
             int32_t gridWidth, int32_t gridHeight, const TileRecord* records, int32_t recordCount,
             TileAnimation* animations, int32_t animationCount, const int16_t* frames, int32_t frameCount);
    // The arrays stay the caller's. 0 for zero tile sizes or an image
    // smaller than one tile; cells, records and frames are checked where
    // they are used, so values from files never index past their arrays.
    int initGrid(uint32_t imageWidth, uint32_t imageHeight, int32_t tileWidth, int32_t tileHeight, int32_t shapeScale,
                 int16_t* cells, int32_t gridWidth, int32_t gridHeight, const TileRecord* records, int32_t recordCount,
                 TileAnimation* animations, int32_t animationCount, const int16_t* frames, int32_t frameCount);

    // The resolved tile record number; 0 outside the grid or for a value
    // that names nothing.
    int32_t cellAt(int32_t x, int32_t y) const;
    const TileRecord* tileRecordAt(int32_t x, int32_t y) const;
    void setCell(int32_t x, int32_t y, int32_t value);

    // A length below 1 is refused: it would stop time.
    void setTick(int32_t length);
    void update(int32_t elapsed);
    void resetAnimation(int32_t a);

    bool hasShapeFlags(int32_t t) const;
    int32_t shapeValue(int32_t t) const;
    FixedPoint2 halfTileSize(int32_t t) const;
    // Up to four corners; the number written.
    int tileCorners(int32_t t, FixedPoint2* points) const;

    TileHit worldToCell(int32_t x, int32_t y) const;
    TileHit cellToWorld(int32_t cellX, int32_t cellY) const;

    // Cells met walking from one 16.16 point to another, appended to hits
    // when new while count < capacity; the new count.
    int traceRay(FixedPoint2 from, FixedPoint2 to, TileHit* hits, int capacity, int count) const;
    int sweepSegment(FixedPoint2 a, FixedPoint2 b, FixedPoint2 direction, TileHit* hits, int capacity, int count) const;
    int sweepTest(FixedPoint2 point, Fixed distance, FixedPoint2 direction, TileHit* hits, int capacity, int count) const;

    // Draws the view's tiles through the drawing context, the view's corner
    // at (view.x, view.y) and clipped to it; passMask: TilePass.
    void draw(const Rect16& view, int32_t scrollX, int32_t scrollY, uint32_t passMask);
    // The image tiles a draw of the view at scroll (sx, sy) submits, in
    // drawing order and relative to the view's origin; runs the pre-draw
    // callback for the overlay pass.
    void placeTiles(const Rect16& view, int32_t scrollX, int32_t scrollY, uint32_t passMask, BlitPieceSink sink,
                    void* context) const;

    void setPreDraw(PreDraw callback, void* argument)
    {
        m_preDraw = callback;
        m_preDrawArgument = argument;
    }

    uintptr_t userData = 0;
    int32_t index = 0;
    uint8_t visible = 1;
    Fixed parallaxX = kFixedOne;
    Fixed parallaxY = kFixedOne;
    uint8_t wrap = 0;

    int32_t tileWidth() const { return m_tileWidth; }
    int32_t tileHeight() const { return m_tileHeight; }
    int32_t mapWidth() const { return m_mapWidth; }
    int32_t mapHeight() const { return m_mapHeight; }
    int32_t tick() const { return m_tick; }

private:
    int32_t resolve(int32_t value) const;
    bool validRecord(int32_t t) const { return t >= 1 && t < m_recordCount; }
    void stepAnimation(TileAnimation& a) const;
    void submitTile(int32_t tile, int32_t x, int32_t y, BlitPieceSink sink, void* context) const;
    // How many tiles a sheet of this size holds across and down; tile t lies
    // at column t % across, row t / across.
    void layOutSheet(uint32_t imageWidth, uint32_t imageHeight);
    // Point into the map, wrapped when the layer wraps.
    void scrolled(int32_t x, int32_t y, int32_t& outX, int32_t& outY) const;

    Surface* m_image = nullptr;
    uint32_t m_imageWidth = 0;
    uint32_t m_imageHeight = 0;
    int32_t m_tileWidth = 0;
    int32_t m_tileHeight = 0;
    int32_t m_tilesAcross = 0;
    int32_t m_tilesDown = 0;
    int16_t* m_cells = nullptr;
    int32_t m_gridWidth = 0;
    int32_t m_gridHeight = 0;
    int32_t m_mapWidth = 0;
    int32_t m_mapHeight = 0;
    const TileRecord* m_records = nullptr;
    int32_t m_recordCount = 0;
    TileAnimation* m_animations = nullptr;
    int32_t m_animationCount = 0;
    const int16_t* m_frames = nullptr;
    int32_t m_frameCount = 0;
    int32_t m_tick = kDefaultTileTick;
    int32_t m_time = 0;
    int32_t m_halfWidth = 0;  // rounded up
    int32_t m_halfHeight = 0;
    Fixed m_stepLimit = 0;
    int32_t m_shapeValue = 0;
    PreDraw m_preDraw = nullptr;
    void* m_preDrawArgument = nullptr;
};
