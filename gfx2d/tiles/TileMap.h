// Layers of tiles stacked over one view rectangle, scrolled together within
// the map's bounds. The layers are the caller's.
#pragma once

#include <cstdint>
#include <vector>

#include "framework/services/HashedObject.h"
#include "framework/strings/Rect16.h"
#include "gfx2d/tiles/TileIds.h"

class TileLayer;

class TileMap : public HashedObject {
public:
    // The view covers the screen context's render target, when there is one.
    TileMap();

    void setViewRect(uint16_t x, uint16_t y, uint16_t w, uint16_t h);
    // Scroll back to 0; the view shrinks to the map when larger.
    void setMapSize(int32_t w, int32_t h);
    // Each coordinate clamped to 0 .. map size - view size - 1.
    void setScroll(int32_t x, int32_t y);
    int32_t scrollX() const { return m_scrollX; }
    int32_t scrollY() const { return m_scrollY; }
    bool canScrollLeft() const { return m_scrollX > 0; }
    bool canScrollRight() const { return m_scrollX < m_mapWidth - m_viewWidth - 1; }
    bool canScrollUp() const { return m_scrollY > 0; }
    bool canScrollDown() const { return m_scrollY < m_mapHeight - m_viewHeight - 1; }

    // The layer's index, also stored in the layer; -1 when it cannot be added.
    int32_t addLayer(TileLayer* layer);
    TileLayer* layerAt(int32_t i) const;
    int32_t layerCount() const { return int32_t(m_layers.size()); }
    void update(int32_t elapsed);
    // Every visible layer, its base pass then its overlay pass.
    void draw();
    void drawLayer(int32_t i);
    void drawLayerPass(int32_t i, uint32_t passMask);

    const Rect16& viewRect() const { return m_view; }
    int32_t viewWidth() const { return m_viewWidth; }
    int32_t viewHeight() const { return m_viewHeight; }

private:
    Rect16 m_view;
    int32_t m_mapWidth = 0;
    int32_t m_mapHeight = 0;
    int32_t m_viewWidth = 0;
    int32_t m_viewHeight = 0;
    int32_t m_scrollX = 0;
    int32_t m_scrollY = 0;
    std::vector<TileLayer*> m_layers;
};
