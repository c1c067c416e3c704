// Debug overlay text: glyph tables of the two fonts and the glyph copier.
#include "gfx2d/raster/DebugOverlay.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "gfx2d/raster/TextureStore.h"


namespace {

constexpr int kGlyphCount = 96;
constexpr int kColourRowSpacing = 10;

// Widths of the 5-pixel font's glyphs for codes 32..95; codes 96..127 share
// the glyphs 32 below them.
constexpr int8_t kSmallWidths[64] = {
    3, 1, 3, 5, 3, 3, 4, 1, 2, 2, 3, 3, 2, 3, 1, 3,  // space ! " # $ % & ' ( ) * + , - . /
    3, 2, 3, 3, 3, 3, 3, 3, 3, 3, 1, 2, 3, 3, 3, 3,  // 0-9 : ; < = > ?
    5, 3, 3, 3, 3, 3, 3, 3, 3, 1, 3, 3, 3, 5, 4, 3,  // @ A-O
    3, 4, 3, 3, 3, 3, 3, 5, 3, 3, 3, 2, 3, 2, 3, 3,  // P-Z [ \ ] ^ _
};

using GlyphTable = std::array<GlyphMetrics, kGlyphCount>;

// The atlas starts with a clear column that the copier uses as the gap after
// each glyph. Rows are filled left to right until `rowWidth`.
constexpr GlyphTable makeTable(bool large, int rowWidth, int rowHeight)
{
    GlyphTable t{};
    int x = 1, y = 0;
    for (int i = 0; i < 64; ++i) {
        const int w = large ? 2 * kSmallWidths[i] + 1 : kSmallWidths[i];
        if (x + w > rowWidth) {
            x = 1;
            y += rowHeight;
        }
        t[i] = {x, y, w};
        x += w;
    }
    for (int i = 64; i < kGlyphCount; ++i)
        t[i] = t[i - 32];
    return t;
}

constexpr GlyphTable kSmallFont = makeTable(false, 128, 5);
constexpr GlyphTable kLargeFont = makeTable(true, 102, 10);

static_assert(kSmallFont[63].y == 5, "the 5-pixel font takes two rows");
static_assert(kLargeFont[63].y <= 60, "the 10-pixel font's rows end at 60");

}  // namespace

int32_t DebugOverlay::textHeight(int32_t size) { return size == 1 ? 10 : 5; }

GlyphMetrics DebugOverlay::glyph(int32_t size, uint32_t code)
{
    if (code < 32 || code > 127)
        return {0, 0, 0};
    return (size == 1 ? kLargeFont : kSmallFont)[code - 32];
}

int32_t DebugOverlay::textWidth(int32_t size, const char* text)
{
    int32_t width = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        const uint32_t c = *p;
        if (c == '%') {
            if (!*++p)
                break;
            continue;
        }
        // Measured on the folded code: the backtick, left unfolded above the
        // measured range, counts for nothing though drawText advances past it.
        const uint32_t folded = c >= 97 ? c - 32 : c;
        if (folded >= 32 && folded <= 95)
            width += glyph(size, folded).width + 1;
    }
    return width;
}

void DebugOverlay::drawText(TextureStore& store, int32_t dstSlot, int32_t size, const char* text, int32_t x,
                            int32_t y, int32_t clipLeft, int32_t clipRight)
{
    const int32_t atlas = store.fontAtlas(size);
    const TextureEntry* dst = store.entry(dstSlot);
    if (atlas < 0 || !store.entry(atlas) || !dst)
        return;
    if (clipRight == -1)
        clipRight = static_cast<int32_t>(dst->width);
    const int32_t height = textHeight(size);
    int32_t colour = 0;
    int64_t pen = x;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        const uint32_t c = *p;
        if (c == '%') {
            if (!*++p)
                break;
            if (*p >= '0' && *p <= '4')
                colour = *p - '0';
            continue;
        }
        // Codes above 127 have no glyph: they are skipped like control codes.
        if (c < 32 || c > 127)
            continue;
        const GlyphMetrics g = glyph(size, c);
        const int32_t gy = g.y + kColourRowSpacing * colour;
        const int64_t fromLeft = pen - clipLeft;
        const int64_t toRight = static_cast<int64_t>(clipRight) - pen;
        // Only the gap after a glyph cut on the left can pass the int range,
        // where no entry has columns.
        const int32_t gap = static_cast<int32_t>(std::min<int64_t>(pen + g.width, INT32_MAX));
        if (fromLeft >= -g.width && toRight >= 0) {
            if (pen < clipLeft) {
                const int32_t cut = static_cast<int32_t>(clipLeft - pen);
                store.copyRect(dstSlot, atlas, g.x + cut, gy, g.width - cut, height, clipLeft, y);
                store.copyRect(dstSlot, atlas, 0, 0, 1, height, gap, y);
            } else if (toRight > g.width) {
                store.copyRect(dstSlot, atlas, g.x, gy, g.width, height, static_cast<int32_t>(pen), y);
                store.copyRect(dstSlot, atlas, 0, 0, 1, height, gap, y);
            } else {
                store.copyRect(dstSlot, atlas, g.x, gy, static_cast<int32_t>(toRight), height,
                               static_cast<int32_t>(pen), y);
            }
        }
        // The pen runs in 64 bits: a text starting near the top of the range
        // walks off it rather than wrapping back onto the entry.
        pen += g.width + 1;
    }
}
