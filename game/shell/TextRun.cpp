// Texts laid out into lines, kept or made for one call, and drawn.
#include "game/shell/TextRun.h"

#include "framework/resources/ResourceManager.h"
#include "game/shell/ShellText.h"
#include "gfx2d/font/BitmapFont.h"

namespace {

int32_t drawLaidOut(BitmapFont& font, const TextLayout& layout, int32_t left, int32_t width, int32_t y,
                    int32_t bottom, TextAlign align)
{
    const int32_t lineHeight = font.getLineHeight();
    const int32_t below = y + layout.lineCount() * lineHeight;
    for (int i = 0; i < layout.lineCount() && y < bottom; ++i, y += lineHeight) {
        const char16_t* line = layout.lineText(i);
        const int length = int(layout.lineLength(i));
        const int32_t room = align == TextAlign::Left ? 0 : width - font.measureString(line, length, -1, nullptr);
        font.drawString(line, length, left + (align == TextAlign::Centre ? room / 2 : room), y, -1, -1);
    }
    return below;
}

} // namespace

bool TextLines::showId(uint32_t id, const char16_t* fallback)
{
    const ResourceManager* manager = getResourceManager();
    const uint32_t language = manager ? manager->currentLanguage() : 0;
    if (m_fromId && id == m_id && language == m_language)
        return false;
    loadTextById(m_text, id);
    if (!m_text.length() && fallback)
        m_text.append(fallback);
    m_fromId = true;
    m_id = id;
    m_language = language;
    m_fontRevision = 0;
    return true;
}

WideString& TextLines::edit()
{
    m_fromId = false;
    m_fontRevision = 0;
    return m_text;
}

int32_t TextLines::draw(BitmapFont& font, int32_t left, int32_t width, int32_t y, int32_t bottom, TextAlign align)
{
    if (width <= 0)
        return y;
    if (m_fontRevision != font.revision() || m_width != width) {
        m_layout.font = &font;
        m_layout.text = m_text.chars();
        m_layout.width = width;
        m_layout.layout();
        m_fontRevision = font.revision();
        m_width = width;
    }
    return drawLaidOut(font, m_layout, left, width, y, bottom, align);
}

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
    return drawLaidOut(font, layout, left, width, y, bottom, centred ? TextAlign::Centre : TextAlign::Left);
}
