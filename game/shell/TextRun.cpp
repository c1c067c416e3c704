// Texts laid out into lines and drawn.
#include "game/shell/TextRun.h"

#include "gfx2d/font/BitmapFont.h"
#include "gfx2d/font/TextLayout.h"

int32_t drawTextLines(BitmapFont& font, const char16_t* text, int32_t left, int32_t width, int32_t y,
                      int32_t bottom, bool centred)
{
    if (!text || width <= 0)
        return y;
    TextLayout layout;
    layout.font = &font;
    layout.text = text;
    layout.width = width;
    layout.layout();
    const int32_t lineHeight = font.getLineHeight();
    const int32_t below = y + layout.lineCount() * lineHeight;
    for (int i = 0; i < layout.lineCount() && y < bottom; ++i, y += lineHeight) {
        const char16_t* line = layout.lineText(i);
        const int length = int(layout.lineLength(i));
        const int32_t x = centred ? left + (width - font.measureString(line, length, -1, nullptr)) / 2 : left;
        font.drawString(line, length, x, y, -1, -1);
    }
    return below;
}
