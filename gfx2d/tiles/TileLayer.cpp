// Tile layers: grid set-up, animation, cell queries, rays and sweeps, and
// the walk over the cells a view shows.
#include "gfx2d/tiles/TileLayer.h"

#include <algorithm>
#include <climits>

#include "gfx2d/display/Surface.h"
#include "gfx2d/drawcontext/DrawContext.h"
#include "gfx2d/drawcontext/ImagePieces.h"
#include "lib/fixmath/FixMath.h"


namespace {

// A long pause advances animations by at most this many ticks, so an
// update always ends promptly.
constexpr int64_t kMaxTicksPerUpdate = 1024;

int32_t positiveModulo(int64_t v, int32_t m)
{
    const int64_t r = v % m;
    return static_cast<int32_t>(r < 0 ? r + m : r);
}

Fixed clampFixed(int64_t v)
{
    return static_cast<Fixed>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

Fixed fixedLength(Fixed dx, Fixed dy)
{
    return fixSqrt(clampFixed(((int64_t(dx) * dx) >> 16) + ((int64_t(dy) * dy) >> 16)));
}

// Walks a length in steps of at most limit, calling visit(k, travelled) at
// 0, each step and the end.
template <class Visit>
void walk(Fixed length, Fixed limit, Visit&& visit)
{
    Fixed travelled = 0;
    for (int32_t k = 0;; ++k) {
        visit(k, travelled);
        const Fixed remaining = length - travelled;
        if (remaining <= 0)
            break;
        travelled += std::min(limit, remaining);
    }
}

} // namespace

int TileLayer::init(Surface* image, int32_t tileWidth, int32_t tileHeight, int32_t shapeScale, int16_t* cells,
                     int32_t gridWidth, int32_t gridHeight, const TileRecord* records, int32_t recordCount,
                     TileAnimation* animations, int32_t animationCount, const int16_t* frames, int32_t frameCount)
{
    uint32_t width = 0, height = 0;
    if (image == nullptr || !image->getSize(&width, &height) ||
        !initGrid(width, height, tileWidth, tileHeight, shapeScale, cells, gridWidth, gridHeight, records, recordCount,
                  animations, animationCount, frames, frameCount))
        return 0;
    m_image = image;
    return 1;
}

int TileLayer::initGrid(uint32_t imageWidth, uint32_t imageHeight, int32_t tileWidth, int32_t tileHeight,
                        int32_t shapeScale, int16_t* cells, int32_t gridWidth, int32_t gridHeight,
                        const TileRecord* records, int32_t recordCount, TileAnimation* animations,
                        int32_t animationCount, const int16_t* frames, int32_t frameCount)
{
    if (tileWidth < 1 || tileHeight < 1 || uint32_t(tileWidth) > imageWidth || uint32_t(tileHeight) > imageHeight ||
        gridWidth < 0 || gridHeight < 0 || (cells == nullptr && gridWidth * int64_t(gridHeight) > 0) ||
        int64_t(tileWidth) * gridWidth > INT32_MAX || int64_t(tileHeight) * gridHeight > INT32_MAX)
        return 0;
    m_image = nullptr;
    m_tileWidth = tileWidth;
    m_tileHeight = tileHeight;
    layOutSheet(imageWidth, imageHeight);
    m_cells = cells;
    m_gridWidth = gridWidth;
    m_gridHeight = gridHeight;
    m_mapWidth = tileWidth * gridWidth;
    m_mapHeight = tileHeight * gridHeight;
    m_records = records;
    m_recordCount = records != nullptr ? std::max(0, recordCount) : 0;
    m_animations = animations;
    m_animationCount = animations != nullptr ? std::max(0, animationCount) : 0;
    m_frames = frames;
    m_frameCount = frames != nullptr ? std::max(0, frameCount) : 0;
    m_halfWidth = (tileWidth + 1) / 2;
    m_halfHeight = (tileHeight + 1) / 2;
    m_stepLimit = clampFixed(int64_t(std::min(m_halfWidth, m_halfHeight)) << 16);
    m_shapeValue = std::max(tileWidth, tileHeight) * shapeScale;
    m_tick = kDefaultTileTick;
    m_time = 0;
    m_preDraw = nullptr;
    m_preDrawArgument = nullptr;
    return 1;
}

int32_t TileLayer::resolve(int32_t value) const
{
    if (value < 0) {
        const int32_t a = -value;
        if (a >= m_animationCount)
            return 0;
        const int32_t frame = m_animations[a].frame;
        value = frame >= 0 && frame < m_frameCount ? m_frames[frame] : 0;
    }
    return validRecord(value) ? value : 0;
}

int32_t TileLayer::cellAt(int32_t x, int32_t y) const
{
    if (x < 0 || y < 0 || x >= m_gridWidth || y >= m_gridHeight)
        return 0;
    return resolve(m_cells[size_t(y) * m_gridWidth + x]);
}

const TileRecord* TileLayer::tileRecordAt(int32_t x, int32_t y) const
{
    const int32_t t = cellAt(x, y);
    return t != 0 ? &m_records[t] : nullptr;
}

void TileLayer::setCell(int32_t x, int32_t y, int32_t value)
{
    if (x < 0 || y < 0 || x >= m_gridWidth || y >= m_gridHeight)
        return;
    int16_t& cell = m_cells[size_t(y) * m_gridWidth + x];
    if (value >= 0 && value < m_recordCount) {
        cell = int16_t(value);
    } else if (value < 0 && -int64_t(value) < m_animationCount) {
        cell = int16_t(value);
        resetAnimation(-value);
    }
}

void TileLayer::setTick(int32_t length)
{
    if (length < 1)
        return;
    m_tick = length;
    m_time = 0;
}

void TileLayer::resetAnimation(int32_t a)
{
    if (a < 0 || a >= m_animationCount)
        return;
    TileAnimation& anim = m_animations[a];
    const bool backward = anim.mode == TileAnimMode::LoopBackward || anim.mode == TileAnimMode::PingPongBackward;
    anim.frame = backward ? anim.end - 1 : anim.first;
    anim.countdown = anim.delay;
}

void TileLayer::stepAnimation(TileAnimation& a) const
{
    const int32_t last = a.end - 1;
    switch (a.mode) {
    case TileAnimMode::Loop:
        a.frame = a.frame + 1 > last ? a.first : a.frame + 1;
        break;
    case TileAnimMode::LoopBackward:
        a.frame = a.frame - 1 < a.first ? last : a.frame - 1;
        break;
    case TileAnimMode::Once:
        if (a.frame >= last) {
            a.frame = a.first;
            a.countdown = kTileAnimStopped;
        } else {
            ++a.frame;
        }
        break;
    case TileAnimMode::OnceAndHold:
        if (a.frame < last)
            ++a.frame;
        break;
    case TileAnimMode::PingPongForward:
        if (++a.frame > last) {
            a.frame = last;
            a.mode = TileAnimMode::PingPongBackward;
        }
        break;
    case TileAnimMode::PingPongBackward:
        if (--a.frame < a.first) {
            a.frame = a.first;
            a.mode = TileAnimMode::PingPongForward;
        }
        break;
    default:
        a.countdown = kTileAnimStopped;
        break;
    }
}

void TileLayer::update(int32_t elapsed)
{
    if (m_animationCount < 2 || elapsed <= 0)
        return;
    // Time advances once per call and every animation runs the same ticks.
    const int64_t time = int64_t(m_time) + elapsed;
    const int64_t ticks = std::min(time / m_tick, kMaxTicksPerUpdate);
    m_time = int32_t(time % m_tick);
    for (int32_t i = 1; i < m_animationCount; ++i) {
        TileAnimation& a = m_animations[i];
        for (int64_t k = 0; k < ticks && a.countdown != kTileAnimStopped; ++k) {
            if (a.countdown > 0)
                --a.countdown;
            if (a.countdown != 0)
                continue;
            stepAnimation(a);
            if (a.countdown != kTileAnimStopped)
                a.countdown = a.delay;
        }
    }
}

bool TileLayer::hasShapeFlags(int32_t t) const
{
    return validRecord(t) && (m_records[t].shapeFlags & TileShape::HasShape) != 0;
}

int32_t TileLayer::shapeValue(int32_t t) const
{
    return hasShapeFlags(t) ? m_shapeValue : 0;
}

FixedPoint2 TileLayer::halfTileSize(int32_t t) const
{
    if (!hasShapeFlags(t))
        return {0, 0};
    return {(m_tileWidth >> 1) << 16, (m_tileHeight >> 1) << 16};
}

int TileLayer::tileCorners(int32_t t, FixedPoint2* points) const
{
    if (!validRecord(t))
        return 0;
    const Fixed w = clampFixed(int64_t(m_halfWidth) << 16), h = clampFixed(int64_t(m_halfHeight) << 16);
    const struct {
        uint8_t flag;
        FixedPoint2 corner;
    } order[] = {{TileShape::TopLeft, {-w, -h}},
                 {TileShape::TopRight, {w, -h}},
                 {TileShape::BottomRight, {w, h}},
                 {TileShape::BottomLeft, {-w, h}}};
    int n = 0;
    for (const auto& c : order) {
        if (m_records[t].shapeFlags & c.flag)
            points[n++] = c.corner;
    }
    return n;
}

void TileLayer::scrolled(int32_t x, int32_t y, int32_t& outX, int32_t& outY) const
{
    outX = fixMul(parallaxX, x);
    outY = fixMul(parallaxY, y);
    if (wrap && m_mapWidth > 0 && m_mapHeight > 0) {
        outX = positiveModulo(outX, m_mapWidth);
        outY = positiveModulo(outY, m_mapHeight);
    }
}

TileHit TileLayer::worldToCell(int32_t x, int32_t y) const
{
    int32_t mx, my;
    scrolled(x, y, mx, my);
    if (mx < 0 || my < 0 || mx >= m_mapWidth || my >= m_mapHeight)
        return {this, -1, -1, -1, -1, -1};
    const int32_t cx = mx / m_tileWidth, cy = my / m_tileHeight;
    return {this, m_halfWidth + cx * m_tileWidth, m_halfHeight + cy * m_tileHeight, cx, cy, 0};
}

TileHit TileLayer::cellToWorld(int32_t cellX, int32_t cellY) const
{
    if (cellX < 0 || cellY < 0 || cellX >= m_gridWidth || cellY >= m_gridHeight)
        return {this, 0, 0, -1, -1, 0};
    return {this, m_halfWidth + cellX * m_tileWidth, m_halfHeight + cellY * m_tileHeight, cellX, cellY, 0};
}

int TileLayer::traceRay(FixedPoint2 from, FixedPoint2 to, TileHit* hits, int capacity, int count) const
{
    const Fixed dx = clampFixed(int64_t(to.x) - from.x), dy = clampFixed(int64_t(to.y) - from.y);
    const Fixed length = fixedLength(dx, dy);
    if (length <= 0 || m_tileWidth == 0)
        return count;
    const int64_t ux = (int64_t(dx) << 16) / length, uy = (int64_t(dy) << 16) / length;
    walk(length, m_stepLimit, [&](int32_t, Fixed travelled) {
        const int64_t px = from.x + ((ux * travelled) >> 16), py = from.y + ((uy * travelled) >> 16);
        const TileHit hit = worldToCell(int32_t(px >> 16), int32_t(py >> 16));
        // Points outside the map meet no cell.
        if (hit.cellX < 0 || count >= capacity)
            return;
        for (int i = 0; i < count; ++i) {
            if (hits[i].layer == this && hits[i].cellX == hit.cellX && hits[i].cellY == hit.cellY)
                return;
        }
        hits[count++] = hit;
    });
    return count;
}

int TileLayer::sweepSegment(FixedPoint2 a, FixedPoint2 b, FixedPoint2 direction, TileHit* hits, int capacity,
                            int count) const
{
    if (m_tileWidth == 0)
        return count;
    const Fixed length = fixedLength(direction.x, direction.y);
    const int64_t ux = length > 0 ? (int64_t(direction.x) << 16) / length : 0;
    const int64_t uy = length > 0 ? (int64_t(direction.y) << 16) / length : 0;
    walk(length, m_stepLimit, [&](int32_t k, Fixed travelled) {
        const Fixed ox = clampFixed((ux * travelled) >> 16), oy = clampFixed((uy * travelled) >> 16);
        const int before = count;
        count = traceRay({a.x + ox, a.y + oy}, {b.x + ox, b.y + oy}, hits, capacity, count);
        for (int i = before; i < count; ++i)
            hits[i].step = k;
    });
    return count;
}

int TileLayer::sweepTest(FixedPoint2 point, Fixed distance, FixedPoint2 direction, TileHit* hits, int capacity,
                         int count) const
{
    const Fixed length = fixedLength(direction.x, direction.y);
    if (length <= 0)
        return count;
    const Fixed ux = clampFixed((int64_t(direction.x) << 16) / length);
    const Fixed uy = clampFixed((int64_t(direction.y) << 16) / length);
    // The segment across the motion, distance either side of the point.
    const Fixed px = fixMul(-uy, distance), py = fixMul(ux, distance);
    const Fixed travel = clampFixed(int64_t(length) + distance);
    return sweepSegment({point.x - px, point.y - py}, {point.x + px, point.y + py},
                        {fixMul(ux, travel), fixMul(uy, travel)}, hits, capacity, count);
}

void TileLayer::layOutSheet(uint32_t imageWidth, uint32_t imageHeight)
{
    m_imageWidth = imageWidth;
    m_imageHeight = imageHeight;
    m_tilesAcross = int32_t(imageWidth / uint32_t(m_tileWidth));
    m_tilesDown = int32_t(imageHeight / uint32_t(m_tileHeight));
}

void TileLayer::submitTile(int32_t tile, int32_t x, int32_t y, BlitPieceSink sink, void* context) const
{
    if (tile <= 0 || int64_t(tile) >= int64_t(m_tilesAcross) * m_tilesDown)
        return;
    BlitPiece p{x, y, tile % m_tilesAcross * m_tileWidth, tile / m_tilesAcross * m_tileHeight, m_tileWidth,
                m_tileHeight};
    clipPieceToSource(p, int32_t(m_imageWidth), int32_t(m_imageHeight));
    sink(context, p);
}

void TileLayer::draw(const Rect16& view, int32_t scrollX, int32_t scrollY, uint32_t passMask)
{
    DrawContext* dc = getDrawContext();
    uint32_t width = 0, height = 0;
    if (dc == nullptr || m_image == nullptr || !m_image->getSize(&width, &height))
        return;
    // The sheet may have been made again since init: its tiles are numbered
    // by the rows it has now, and a tile it no longer holds draws nothing.
    if (width != m_imageWidth || height != m_imageHeight)
        layOutSheet(width, height);
    // Pieces are placed relative to the view, and the partly scrolled tiles
    // at its edges must not spill past it.
    if (!dc->pushMatrix())
        return;
    dc->translate(view.x * kFixedOne, view.y * kFixedOne);
    const Rect16 saved = *dc->getClip();
    Rect16 clip = view;
    Rect16::clipTo(clip, saved);
    dc->setClip(clip.x, clip.y, clip.w, clip.h);
    ImagePieceTarget target{dc, m_image};
    placeTiles(view, scrollX, scrollY, passMask, drawImagePiece, &target);
    dc->setClip(saved.x, saved.y, saved.w, saved.h);
    dc->popMatrix();
}

void TileLayer::placeTiles(const Rect16& view, int32_t scrollX, int32_t scrollY, uint32_t passMask, BlitPieceSink sink,
                           void* context) const
{
    if (m_tileWidth == 0)
        return;
    const int32_t columns = (std::max<int32_t>(view.w, 0) + m_tileWidth - 1) / m_tileWidth;
    const int32_t rows = (std::max<int32_t>(view.h, 0) + m_tileHeight - 1) / m_tileHeight;
    int32_t px, py;
    scrolled(scrollX, scrollY, px, py);
    const int32_t firstX = px / m_tileWidth, firstY = py / m_tileHeight;
    const int32_t offsetX = px % m_tileWidth, offsetY = py % m_tileHeight;
    if ((passMask & TilePass::Overlay) && m_preDraw != nullptr) {
        const Rect16 scrolledView{int16_t(px), int16_t(py), view.w, view.h};
        m_preDraw(userData, view, scrolledView, 0, 0, m_preDrawArgument);
    }
    // Past the grid's far edge the walk wraps to 0 or stops (-1).
    auto gridIndex = [this](int32_t i, int32_t size) { return i < size ? i : wrap && size > 0 ? i % size : -1; };
    for (int32_t r = 0; r <= rows; ++r) {
        const int32_t cy = gridIndex(firstY + r, m_gridHeight);
        if (cy < 0 && firstY + r >= 0)
            break;
        for (int32_t c = 0; c <= columns; ++c) {
            const int32_t cx = gridIndex(firstX + c, m_gridWidth);
            if (cx < 0 && firstX + c >= 0)
                break;
            const int32_t t = cellAt(cx, cy);
            if (t == 0)
                continue;
            const TileRecord& record = m_records[t];
            const int32_t x = c * m_tileWidth - offsetX, y = r * m_tileHeight - offsetY;
            if (passMask & TilePass::Base)
                submitTile(record.baseTile, x, y, sink, context);
            if (passMask & TilePass::Overlay) {
                for (int32_t overlay : record.overlayTiles)
                    submitTile(overlay, x, y, sink, context);
            }
        }
    }
}
