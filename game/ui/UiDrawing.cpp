// Text columns, soft-key labels and bars.
#include "game/ui/UiDrawing.h"

#include "game/shell/FontManager.h"
#include "game/shell/GameApp.h"
#include "game/shell/Graphics3DService.h"
#include "game/shell/TextRun.h"
#include "gfx2d/drawcontext/DrawContext.h"
#include "gfx2d/font/BitmapFont.h"

BitmapFont* uiFont(uint32_t index)
{
    FontManager* fonts = getFontManager();
    BitmapFont* font = fonts ? fonts->getFont(index) : nullptr;
    return font && font->isLoaded() && font->image() ? font : nullptr;
}

int32_t drawWrapped(BitmapFont* font, const char16_t* text, const TextColumn& column, int32_t y, bool centred)
{
    return font ? drawTextLines(*font, text, column.left, column.width(), y, getScreenHeight(), centred) : y;
}

int32_t drawLines(TextLines& lines, BitmapFont* font, const TextColumn& column, int32_t y, TextAlign align)
{
    return font ? lines.draw(*font, column.left, column.width(), y, getScreenHeight(), align) : y;
}

int32_t drawTextId(TextLines& lines, BitmapFont* font, uint32_t id, const TextColumn& column, int32_t y,
                   bool centred)
{
    if (!font || id == 0)
        return y;
    lines.showId(id);
    return drawLines(lines, font, column, y, centred ? TextAlign::Centre : TextAlign::Left);
}

void drawRightAligned(BitmapFont* font, const char16_t* text, int32_t right, int32_t y)
{
    if (font && text)
        font->drawString(text, -1, right - font->measureString(text, -1, -1, nullptr), y, -1, -1);
}

int32_t softkeyLineY(int32_t height)
{
    BitmapFont* font = uiFont(UiFont::Softkey);
    return height - kUiInset - (font ? font->getLineHeight() : 0);
}

void drawSoftkeyLabels(TextLines (&labels)[2], uint32_t left, uint32_t right, int32_t width, int32_t height)
{
    BitmapFont* font = uiFont(UiFont::Softkey);
    if (!font)
        return;
    const int32_t y = softkeyLineY(height);
    // The configured positions are per orientation: portrait first.
    const GameApp* app = getGame();
    const int32_t* configured = app ? app->m_softkeyX + (height >= width ? 0 : 2) : nullptr;
    const uint32_t values[2] = {left, right};
    for (int side = 0; side < 2; ++side) {
        if (values[side] == 0)
            continue;
        TextLines& label = labels[side];
        label.showId(textRowId(values[side]));
        // Its first line only: nothing under the bottom line of the screen.
        if (configured && configured[side] >= 0)
            label.draw(*font, configured[side], width - configured[side], y, y + 1, TextAlign::Left);
        else
            label.draw(*font, kUiInset, width - 2 * kUiInset, y, y + 1, side == 0 ? TextAlign::Left : TextAlign::Right);
    }
}

void drawProgressBar(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t amount, uint32_t total)
{
    if (width < 3 || height < 3 || total == 0)
        return;
    const int16_t frame[4] = {int16_t(x), int16_t(y), int16_t(width), int16_t(height)};
    drawFrame(frame, UiColour::Frame, 1, 0);
    const int32_t inside = width - 2;
    const int32_t filled = int32_t(int64_t(inside) * (amount > total ? total : amount) / total);
    if (filled > 0)
        fillRect(x + 1, y + 1, x + 1 + filled, y + height - 1, UiColour::Bar);
}
