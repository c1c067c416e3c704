// A small debug text overlay: copies glyphs of two built-in fonts, 5 and 10
// pixels high, out of font atlas entries of the texture store. An atlas
// holds five colour rows 10 pixels apart; "%0".."%4" in a text picks one.
#pragma once

#include <cstdint>

class TextureStore;

struct GlyphMetrics {
    int32_t x, y, width;
};

class DebugOverlay {
public:
    // Size 1 is the 10-pixel font; any other size the 5-pixel one.
    static int32_t textHeight(int32_t size);
    static int32_t textWidth(int32_t size, const char* text);
    // Metrics of a character code 32..127 in the font's atlas.
    static GlyphMetrics glyph(int32_t size, uint32_t code);
    // clipRight -1 means the destination's width. Nothing is drawn while the
    // font has no atlas entry.
    static void drawText(TextureStore& store, int32_t dstSlot, int32_t size, const char* text, int32_t x, int32_t y,
                         int32_t clipLeft, int32_t clipRight);
};
