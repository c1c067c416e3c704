// Tile map view, scroll bounds and the layer list.
#include "gfx2d/tiles/TileMap.h"

#include <algorithm>

#include "gfx2d/display/ScreenContext.h"
#include "gfx2d/display/Surface.h"
#include "gfx2d/tiles/TileLayer.h"

TileMap::TileMap() : HashedObject(TileTypeId::TileMap)
{
    ScreenContext* screen = getDisplay();
    Surface* target = screen != nullptr ? screen->getRenderTarget(0, 0) : nullptr;
    uint32_t width = 0, height = 0;
    if (target != nullptr && target->getSize(&width, &height))
        setViewRect(0, 0, uint16_t(width), uint16_t(height));
}

void TileMap::setViewRect(uint16_t x, uint16_t y, uint16_t w, uint16_t h)
{
    m_view = {int16_t(x), int16_t(y), int16_t(w), int16_t(h)};
}

void TileMap::setMapSize(int32_t w, int32_t h)
{
    m_mapWidth = w;
    m_mapHeight = h;
    m_scrollX = m_scrollY = 0;
    m_viewWidth = std::min<int32_t>(uint16_t(m_view.w), w);
    m_viewHeight = std::min<int32_t>(uint16_t(m_view.h), h);
}

void TileMap::setScroll(int32_t x, int32_t y)
{
    m_scrollX = std::max(0, std::min(x, m_mapWidth - m_viewWidth - 1));
    m_scrollY = std::max(0, std::min(y, m_mapHeight - m_viewHeight - 1));
}

int32_t TileMap::addLayer(TileLayer* layer)
{
    if (layer == nullptr)
        return -1;
    layer->index = int32_t(m_layers.size());
    m_layers.push_back(layer);
    return layer->index;
}

TileLayer* TileMap::layerAt(int32_t i) const
{
    return i >= 0 && i < layerCount() ? m_layers[size_t(i)] : nullptr;
}

void TileMap::update(int32_t elapsed)
{
    for (TileLayer* layer : m_layers)
        layer->update(elapsed);
}

void TileMap::drawLayerPass(int32_t i, uint32_t passMask)
{
    if (TileLayer* layer = layerAt(i))
        layer->draw(m_view, m_scrollX, m_scrollY, passMask);
}

void TileMap::drawLayer(int32_t i)
{
    drawLayerPass(i, TilePass::Base);
    drawLayerPass(i, TilePass::Overlay);
}

void TileMap::draw()
{
    for (int32_t i = 0; i < layerCount(); ++i) {
        if (m_layers[size_t(i)]->visible)
            drawLayer(i);
    }
}
