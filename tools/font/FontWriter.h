// Font files and glyph sheets for tests, fuzz seeds and sample packs. The
// writer lays records out as the font reader expects them; the sheet
// generator draws a small built-in bitmap alphabet into a palette picture
// (written as BMP or PNG) and describes each cell for the writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/image/ImageWriters.h"

struct FontGlyph {
    uint16_t code = 0;
    int16_t x = 0;
    int16_t y = 0;
    int8_t width = 0;
    int8_t height = 0;
    int8_t xOffset = 0;
    int8_t yOffset = 0;
    int8_t advance = 0;
    int8_t unused = 0;
};

struct FontOverride {
    uint16_t code = 0;
    int8_t unused = 0;
    int8_t advance = 0;
};

struct FontSpec {
    int8_t format = 2;  // 2: codes as modified UTF-8 blocks; else in the records
    uint8_t reserved[4] = {'P', 'F', 'N', 'T'};
    int8_t height = 0;
    int8_t spacing = 0;
    int8_t lineGap = 0;
    std::vector<FontGlyph> glyphs;  // sorted by signed code on writing
    std::vector<FontOverride> overrides;
};

ImageBytes writeFont(const FontSpec& font);

// The built-in alphabet: 3 × 5 cells for '0'-'9', 'A'-'Z', '.', ',', ':',
// '!', '?', '-', 'e' with acute (U+00E9) and a box at U+9F8D; 'a'-'z' draw as capitals.
constexpr int32_t kSheetCell = 3;
constexpr int32_t kSheetCellHeight = 5;
bool hasSheetGlyph(char16_t c);
// Rows of the glyph, bit 2 the leftmost pixel; 0 rows for unknown characters.
const uint8_t* sheetGlyphRows(char16_t c);

struct GlyphSheet {
    PngPicture picture;  // palette 0 background, 1 ink; 8-bit indices
    FontSpec font;       // one glyph per character, a space override of 2
};

// One row of cells at (1 + 4i, 1) in the order given: x and y offsets 0,
// advance 3, spacing 1, height 5, gap 2; characters without a cell are skipped.
GlyphSheet makeGlyphSheet(const std::u16string& characters);
BmpPicture sheetAsBmp(const GlyphSheet& sheet);
