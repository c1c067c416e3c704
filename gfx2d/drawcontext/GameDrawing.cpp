// The game's drawing helpers over the drawing context: filled rectangles,
// frames of four bars and tiled images.
#include <algorithm>

#include "gfx2d/display/Surface.h"
#include "gfx2d/drawcontext/DrawContext.h"

void fillRect(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t argb, uint32_t mode)
{
    DrawContext* dc = getDrawContext();
    if (!dc)
        return;
    // The colour key stays as the caller had it; the colour does not.
    dc->pushAttributes(DrawGroup::ColourKey);
    dc->disable(DrawGroup::ColourKey);
    dc->setColor(argb);
    const int16_t corners[4] = {int16_t(x0), int16_t(y0), int16_t(x1), int16_t(y1)};
    dc->vertexPointer(2, VertexType::S16, 4, corners);
    dc->drawArrays(mode, 0, 2);
    dc->popAttributes(DrawGroup::ColourKey);
}

void drawFrame(const int16_t* rect, uint32_t argb, int32_t thickness, uint32_t skipMask)
{
    const int32_t x = rect[0], y = rect[1], w = rect[2], h = rect[3], t = thickness;
    if (!(skipMask & 1))
        fillRect(x, y, x + w, y + t, argb);
    if (!(skipMask & 2))
        fillRect(x, y + h - t, x + w, y + h, argb);
    if (!(skipMask & 4))
        fillRect(x, y, x + t, y + h, argb);
    if (!(skipMask & 8))
        fillRect(x + w - t, y, x + w, y + h, argb);
}

void tileImage(Surface* surface, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    DrawContext* dc = getDrawContext();
    uint32_t w = 0, h = 0;
    // A zero-sized tile would never advance across the rectangle.
    if (!dc || !surface || !surface->getSize(&w, &h) || w == 0 || h == 0)
        return;
    // Wide steps so a rectangle reaching the top of the range still ends.
    for (int64_t y = y0; y < y1; y += h) {
        for (int64_t x = x0; x < x1; x += w) {
            const int16_t cut[4] = {0, 0, int16_t(std::min<int64_t>(w, x1 - x)), int16_t(std::min<int64_t>(h, y1 - y))};
            if (!dc->pushMatrix())
                return;
            dc->translate(intToFixed(int32_t(x)), intToFixed(int32_t(y)));
            dc->drawImage(surface, 0, cut);
            dc->popMatrix();
        }
    }
}
