// Bitmap fonts: one glyph image holds every cell, and a small font file says
// where each character's cell lies, how it is offset and how far the pen
// moves. The font keeps its own copies of the file's header and records.
#pragma once

#include <cstdint>
#include <memory>

#include "gfx2d/blit/BlitClip.h"
#include "gfx2d/font/FontBase.h"

class Surface;

struct GlyphRecord {
    int16_t code;
    int16_t x;  // cell in the image
    int16_t y;
    int8_t width;
    int8_t height;
    int8_t xOffset;
    int8_t yOffset;
    int8_t advance;
    int8_t unused;
};

// A character that only moves the pen (a space): never drawn.
struct OverrideRecord {
    int16_t code;
    int8_t unused;
    int8_t advance;
};

class BitmapFont : public FontBase {
public:
    BitmapFont();
    ~BitmapFont() override { unload(); }

    // Borrowed: the creator keeps the image alive as long as the font.
    void setImage(Surface* image) { m_image = image; }
    Surface* image() const { return m_image; }

    // 1 when the whole file was read. Data shorter than its header, its
    // counts or its code blocks is refused and leaves the font empty.
    int load(const uint8_t* data, uint32_t length);
    void unload();
    bool isLoaded() const { return m_header != nullptr; }

    int getLineHeight() const override;
    int getLineGap() const override;
    int measureString(const char16_t* text, int length, int maxWidth, int* fitCount) const override;
    int charAdvance(char16_t c) const override;
    void drawString(const char16_t* text, int length, int x, int y, int maxWidth, int maxHeight) override;

    int spacing() const;
    int glyphCount() const { return m_glyphCount; }
    int overrideCount() const { return m_overrideCount; }
    const GlyphRecord* glyphs() const { return m_glyphs.get(); }
    const GlyphRecord* findGlyph(char16_t c) const;
    const OverrideRecord* findOverride(char16_t c) const;
    // Records compared by lookups so far: a count of work that tests read
    // to hold drawing in proportion to the text.
    uint64_t probes() const { return m_probes; }
    // Changes at every load and unload, and no two fonts share one: what is
    // laid out with a font is kept for as long as the revision holds.
    uint64_t revision() const { return m_revision; }

    // The glyphs drawString submits, in order, for a glyph image of
    // imageWidth × imageHeight: cells are cut at maxWidth / maxHeight on
    // their right and bottom, then clipped to the image, so a cell from a
    // file never reads outside it. Returns the glyphs visited.
    int placeGlyphs(const char16_t* text, int length, int x, int y, int maxWidth, int maxHeight, int32_t imageWidth,
                    int32_t imageHeight, BlitPieceSink sink, void* context) const;

private:
    Surface* m_image = nullptr;
    std::unique_ptr<uint8_t[]> m_header;
    std::unique_ptr<GlyphRecord[]> m_glyphs;
    std::unique_ptr<OverrideRecord[]> m_overrides;
    // Override indices in order of code, file order among equal codes: a
    // file may hold thousands, and every character drawn looks for one.
    std::unique_ptr<uint16_t[]> m_overrideOrder;
    int m_glyphCount = 0;
    int m_overrideCount = 0;
    mutable uint64_t m_probes = 0;
    uint64_t m_revision;
};
