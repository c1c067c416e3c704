// The font interface text layout, menus and the HUD talk to. Text is UTF-16
// throughout; a length below 0 means the text ends at its first NUL unit.
#pragma once

#include <cstdint>

#include "framework/services/HashedObject.h"
#include "gfx2d/font/FontIds.h"

class FontBase : public HashedObject {
public:
    FontBase() : HashedObject(FontTypeId::FontBase) {}

    virtual int getLineHeight() const = 0;
    virtual int getLineGap() const = 0;
    // Pixel width of the text; fitCount (when not null) gets the characters
    // measured. maxWidth below 0: no limit.
    virtual int measureString(const char16_t* text, int length, int maxWidth, int* fitCount) const = 0;
    // Pen advance of one character without the spacing; 0 when unknown.
    virtual int charAdvance(char16_t c) const = 0;
    // Pen origin at (x, y); a negative maxWidth or maxHeight does not clip.
    virtual void drawString(const char16_t* text, int length, int x, int y, int maxWidth, int maxHeight) = 0;

    // CharClass of c: the breaks text layout looks for.
    static int charClass(char16_t c);
};
