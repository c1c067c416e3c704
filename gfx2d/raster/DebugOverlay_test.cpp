// The debug overlay draws glyphs from its atlases into a store entry:
// checked against a golden picture and against a column-by-column model of
// the copy and clip rules written here.
#include "gfx2d/raster/DebugOverlay.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "gfx2d/raster/TextureStore.h"
#include "tests/support/GoldenImage.h"


namespace {

using namespace PixelFormat;

constexpr int kW = 64, kH = 24;
constexpr uint32_t kBackground = 0xFF203040;
constexpr uint32_t kInk[5] = {0xFFFFFFFF, 0xFFFF4040, 0xFF40FF40, 0xFF4080FF, 0xFFFFFF40};

// Atlas texels: column 0 is the clear gap column; elsewhere ink of the
// colour row's colour in a pattern that differs from texel to texel.
uint32_t atlasTexel(int x, int y)
{
    if (x == 0 || (x * 3 + y * 5) % 7 >= 3)
        return 0xFF000000;
    return kInk[std::min(y / 10, 4)];
}

struct Draw {
    int32_t size;
    const char* text;
    int32_t x, y, clipLeft, clipRight;
};

class Model {
public:
    Model() : px(kW * kH, kBackground) {}
    void put(int x, int y, uint32_t v)
    {
        if (x >= 0 && x < kW && y >= 0 && y < kH)
            px[y * kW + x] = v;
    }
    // Column by column: glyph column i shows when it lies inside the clip;
    // the gap column follows a glyph that was cut on the left or fitted whole.
    void draw(const Draw& d)
    {
        const int32_t clipRight = d.clipRight == -1 ? kW : d.clipRight;
        const int h = DebugOverlay::textHeight(d.size);
        int colour = 0;
        int32_t x = d.x;
        for (const char* p = d.text; *p; ++p) {
            if (*p == '%') {
                if (!*++p)
                    break;
                if (*p >= '0' && *p <= '4')
                    colour = *p - '0';
                continue;
            }
            const unsigned char code = static_cast<unsigned char>(*p);
            if (code < 32 || code > 127)
                continue;
            const GlyphMetrics g = DebugOverlay::glyph(d.size, code);
            const bool visible = x - d.clipLeft >= -g.width && clipRight - x >= 0;
            for (int i = 0; visible && i < g.width; ++i)
                if (x + i >= d.clipLeft && x + i < clipRight)
                    for (int j = 0; j < h; ++j)
                        put(x + i, d.y + j, atlasTexel(g.x + i, g.y + 10 * colour + j));
            if (visible && (x < d.clipLeft || clipRight - x > g.width))
                for (int j = 0; j < h; ++j)
                    put(x + g.width, d.y + j, atlasTexel(0, j));
            x += g.width + 1;
        }
    }
    std::vector<uint32_t> px;
};

int32_t makeAtlas(TextureStore& s, uint32_t w, uint32_t h)
{
    const int32_t slot = s.createEntry(w, h, A8R8G8B8, 0);
    uint32_t* p = reinterpret_cast<uint32_t*>(s.entry(slot)->levels[0]);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            p[y * w + x] = atlasTexel(static_cast<int>(x), static_cast<int>(y));
    return slot;
}

TEST(DebugOverlay, DrawsColourRowsAndClipsAsTheModelSays)
{
    auto store = std::make_unique<TextureStore>();
    const int32_t dst = store->createEntry(kW, kH, A8R8G8B8, 0);
    store->fillRect(dst, 0, 0, kW, kH, 0xFF, 0x20, 0x30, 0x40);
    // No atlas yet: nothing is drawn.
    DebugOverlay::drawText(*store, dst, 0, "AB", 1, 1, 0, -1);
    store->setFontAtlas(0, makeAtlas(*store, 128, 50));
    store->setFontAtlas(1, makeAtlas(*store, 102, 110));

    const Draw draws[] = {
        {0, "%2AB%%C", 1, 1, 0, -1},     // colour row 2; "%%" hides itself, C in row 2
        {0, "%9Q\x01%", 30, 1, 0, -1},   // a stray digit keeps the colour
        {1, "%1Hi", 1, 8, 0, -1},        // the 10-pixel font
        {0, "%3XY", 30, 8, 33, 40},      // cut on the left
        {0, "%4MW", 50, 8, 0, 56},       // cut on the right
        {1, "ZZZZ", -30, 14, -2, -1},    // wholly left of the clip, then partly
        {0, "\xE9" "A", 58, 18, 0, -1},  // codes above 127 have no glyph
    };
    Model model;
    for (const Draw& d : draws) {
        DebugOverlay::drawText(*store, dst, d.size, d.text, d.x, d.y, d.clipLeft, d.clipRight);
        model.draw(d);
    }
    DebugOverlay::drawText(*store, dst, 0, "WWW", INT32_MAX - 6, 1, 0, -1);  // walks off the int range
    const uint32_t* actual = reinterpret_cast<const uint32_t*>(store->entry(dst)->levels[0]);
    for (int i = 0; i < kW * kH; ++i)
        ASSERT_EQ(actual[i], model.px[i]) << "x " << i % kW << " y " << i / kW;
    EXPECT_TRUE(matchesGolden("gfx2d/raster/testdata/debug_overlay.png", actual, kW, kH));
}

TEST(DebugOverlay, WidthsFoldCaseAndSkipControls)
{
    struct Case {
        int32_t size;
        const char* text;
        int32_t width;
    };
    const GlyphMetrics a = DebugOverlay::glyph(0, 'A'), m = DebugOverlay::glyph(0, 'M');
    const GlyphMetrics bigA = DebugOverlay::glyph(1, 'A');
    const Case cases[] = {
        {0, "AM", a.width + m.width + 2},
        {0, "am", a.width + m.width + 2},
        {0, "%1A%", a.width + 1},
        {0, "\t\x80", 0},
        {0, "`A", a.width + 1},
        {0, "\x7F", DebugOverlay::glyph(0, '_').width + 1},
        {1, "A", bigA.width + 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DebugOverlay::textWidth(c.size, c.text), c.width) << c.text;
    EXPECT_EQ(DebugOverlay::textHeight(1), 10);
    EXPECT_EQ(DebugOverlay::textHeight(0), 5);
    EXPECT_EQ(DebugOverlay::textHeight(2), 5);
    for (uint32_t code = 32; code < 128; ++code) {
        for (int32_t size : {0, 1}) {
            const GlyphMetrics g = DebugOverlay::glyph(size, code);
            const int32_t lo = size ? 2 : 1, hi = size ? 11 : 7;
            EXPECT_GE(g.width, lo);
            EXPECT_LE(g.width, hi);
        }
    }
}

}  // namespace
