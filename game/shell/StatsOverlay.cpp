// The statistics overlay's drawing.
#include "game/shell/StatsOverlay.h"

#include "framework/util/Format.h"
#include "gfx2d/display/ScreenContext.h"
#include "gfx2d/display/Surface.h"
#include "gfx2d/drawcontext/DrawContext.h"
#include "gfx2d/font/BitmapFont.h"
#include "game/shell/FontManager.h"

namespace {

// "%i.%i": the whole part, then tenths.
void drawFixed(BitmapFont& font, int32_t value, int x, int y)
{
    char16_t text[24];
    formatWide(text, u"%i.%i", value >> 16, int32_t((uint32_t(value) & 0xFFFF) * 10 >> 16));
    font.drawString(text, -1, x - font.measureString(text, -1, -1, nullptr) / 2, y, -1, -1);
}

} // namespace

void fillRectangle(const int16_t* rect, uint32_t argb)
{
    fillRect(rect[0], rect[1], rect[0] + rect[2], rect[1] + rect[3], argb, DrawMode::Rectangles);
}

void StatsOverlay::onFrame(uint32_t, const TickInfo&)
{
    ScreenContext* display = getDisplay();
    Surface* frame = display ? display->getRenderTarget(0, 0) : nullptr;
    uint32_t width = 0, height = 0;
    if (frame && frame->getSize(&width, &height))
        draw(width, height);
}

void StatsOverlay::draw(uint32_t width, uint32_t height)
{
    FontManager* fonts = getFontManager();
    BitmapFont* font = fonts ? fonts->getFont(0) : nullptr;
    if (!font)
        return;
    m_rect[0] = int16_t(width * 3 / 4);
    m_rect[1] = int16_t(height * 3 / 4);
    m_lineHeight = int16_t(font->getLineHeight());
    const int16_t box[4] = {m_rect[0], m_rect[1], kBoxWidth, m_lineHeight};
    fillRectangle(box, kBoxColour);
    const int centre = m_rect[0] + kBoxWidth / 2;
    drawFixed(*font, m_rate, centre, m_rect[1]);
    if (!m_showSections || !m_history)
        return;
    int y = m_rect[1] + m_lineHeight;
    for (uint32_t i = 0; i < m_historyLength; ++i, y += m_lineHeight) {
        if (const TaskGroupChild* section = m_history[i].section)
            drawFixed(*font, section->m_ratio, centre, y);
    }
}
