// What the pages and the menu engine draw with: the fonts by role, texts by
// id wrapped into a column, the soft-key labels, bars, and a text from the
// pack formatted with a value it may not misuse.
#pragma once

#include <cstddef>
#include <cstdint>

#include "game/shell/TextRun.h"

class BitmapFont;

namespace UiFont {
constexpr uint32_t Body = 0;
constexpr uint32_t Title = 1;
constexpr uint32_t Selected = 2;
constexpr uint32_t Softkey = 3;
} // namespace UiFont

namespace UiColour {
constexpr uint32_t Black = 0xff000000;
constexpr uint32_t Page = 0xff203048;
constexpr uint32_t Selection = 0xff3c5a84;
constexpr uint32_t Frame = 0xffffffff;
constexpr uint32_t Bar = 0xff40b050;
} // namespace UiColour

// Text rows of the current language: id 0x21ff0000 | row.
constexpr uint32_t kTextRowBase = 0x21ff0000;
constexpr uint32_t textRowId(uint32_t row)
{
    return kTextRowBase | row;
}

// Space kept clear at every screen edge, inside the page's margins.
constexpr int32_t kUiInset = 2;

// The font manager's font when it can draw (data and glyph image loaded).
BitmapFont* uiFont(uint32_t index);

// A column of the screen from left to right (exclusive).
struct TextColumn {
    int32_t left;
    int32_t right;
    int32_t width() const { return right - left; }
};

// Draws the text broken into lines that fit the column from y down, each
// line centred or flush left; returns the y below the last line. A missing
// font or text draws nothing and returns y. For texts made anew each frame;
// the texts a page keeps showing it keeps in TextLines.
int32_t drawWrapped(BitmapFont* font, const char16_t* text, const TextColumn& column, int32_t y, bool centred);
// The kept lines in the column, as drawWrapped draws.
int32_t drawLines(TextLines& lines, BitmapFont* font, const TextColumn& column, int32_t y, TextAlign align);
// The text of an id kept in lines and drawn; a missing text draws nothing.
int32_t drawTextId(TextLines& lines, BitmapFont* font, uint32_t id, const TextColumn& column, int32_t y,
                   bool centred);
// One line, flush right at right.
void drawRightAligned(BitmapFont* font, const char16_t* text, int32_t right, int32_t y);

// The labels of the two soft-key values (0 = none), kept in labels, on the
// bottom line of a width x height screen; the configured label positions win
// when set. A label shows what of it fits the line.
void drawSoftkeyLabels(TextLines (&labels)[2], uint32_t left, uint32_t right, int32_t width, int32_t height);
// The y of the soft-key line, which page content stays above.
int32_t softkeyLineY(int32_t height);

// An outlined bar whose inside is filled to amount of total (amount capped).
void drawProgressBar(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t amount, uint32_t total);
