// Cutting a centred text block into lines.
#include "game/shell/TextRun.h"

#include "gfx2d/font/FontBase.h"

int32_t nextLineRun(const FontBase& font, const char16_t* text, int32_t length, int32_t fitWidth, int32_t maxWidth)
{
    if (!text || length <= 0)
        return 0;
    int fit = 0;
    font.measureString(text, length, fitWidth, &fit);
    int32_t end = fit;
    // The end of the text ends a word as a space does.
    while (end < length && text[end] != u' ')
        ++end;
    int32_t run = fit;
    if (end > fit && font.measureString(text, end, -1, nullptr) <= maxWidth)
        run = end;
    return run > 0 ? run : 1;
}
