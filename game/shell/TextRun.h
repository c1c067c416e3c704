// The one way the game breaks a text into lines and draws them: the library's
// text layout over a column, each line flush left or centred, and nothing
// drawn from the bottom of the screen down. Pages, the menu engine and the
// pause screen all draw their texts through it.
#pragma once

#include <cstdint>

class BitmapFont;

// Draws the NUL-terminated text broken into lines that fit width pixels,
// from y down in [left, left + width), each line centred or flush left.
// Lines that would start at bottom or below are laid out but not drawn, so
// the work of a frame stays in proportion to the text whatever its length.
// Returns the y below the last line, drawn or not.
int32_t drawTextLines(BitmapFont& font, const char16_t* text, int32_t left, int32_t width, int32_t y,
                      int32_t bottom, bool centred);
