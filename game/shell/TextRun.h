// The one way the game breaks a text into lines and draws them: the library's
// text layout over a column, each line flush left, centred or flush right,
// and nothing drawn from the bottom of the screen down. Pages, the menu
// engine and the pause screen all draw their texts through it; the texts
// they show frame after frame they keep, laid out, in TextLines.
#pragma once

#include <cstdint>

#include "framework/strings/WideString.h"
#include "gfx2d/font/TextLayout.h"

class BitmapFont;

enum class TextAlign : uint8_t { Left, Centre, Right };

// A text and its lines, kept from frame to frame: the text of an id is
// loaded again only when the id or the language changes, and its lines are
// laid out again only when the text, the font or the width changes. A frame
// then costs the lines it draws, however long the text.
class TextLines {
public:
    TextLines() = default;
    TextLines(const TextLines&) = delete;
    TextLines& operator=(const TextLines&) = delete;

    // Holds the text of the id in the current language, or the fallback
    // (none: empty) when the pack has no text for it. True when it loaded
    // the text anew.
    bool showId(uint32_t id, const char16_t* fallback = nullptr);
    // The text to change; its lines are laid out again at the next draw.
    WideString& edit();
    const WideString& text() const { return m_text; }

    // Draws the lines that fit width pixels from y down in [left, left +
    // width). Lines that would start at bottom or below are not drawn.
    // Returns the y below the last line, drawn or not.
    int32_t draw(BitmapFont& font, int32_t left, int32_t width, int32_t y, int32_t bottom, TextAlign align);

private:
    WideString m_text;
    TextLayout m_layout;
    bool m_fromId = false;
    uint32_t m_id = 0;
    uint32_t m_language = 0;
    // The font load and the width the lines were laid out for; revision 0:
    // not laid out.
    uint64_t m_fontRevision = 0;
    int32_t m_width = 0;
};

// Draws a NUL-terminated text that may change from frame to frame, as
// TextLines::draw does, laid out anew at each call.
int32_t drawTextLines(BitmapFont& font, const char16_t* text, int32_t left, int32_t width, int32_t y,
                      int32_t bottom, bool centred);
